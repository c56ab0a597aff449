#pragma once

// Environment variables changed for a part of a test and given back as they were, so that the
// offices and programs started meanwhile see the change and the next test does not.

#include <QByteArray>
#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

namespace tessivane::test {

class ScopedEnvironment
{
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    /// Each variable goes back to its value before the first change, or away if it had none.
    ~ScopedEnvironment()
    {
        for (auto saved = mSaved.rbegin(); saved != mSaved.rend(); ++saved) {
            if (saved->second)
                qputenv(saved->first, *saved->second);
            else
                qunsetenv(saved->first);
        }
    }

    /// Sets name to value; a null value unsets it.
    void set(const char* name, const QByteArray& value)
    {
        mSaved.emplace_back(
            name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

private:
    std::vector<std::pair<const char*, std::optional<QByteArray>>> mSaved;
};

} // namespace tessivane::test
