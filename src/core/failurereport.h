#pragma once

#include "core/messagebox.h"

#include <QString>

#include <exception>
#include <functional>
#include <vector>

namespace tessivane {

/// "in Tessivane2021/08/31." + object + "." + procedure + " ": the fixed location text of a
/// reporting procedure.
QString locationText(const char* object, const char* procedure);

/// The text of the "Application Error" box.
QString failureMessage(const QString& description, const QString& location, int line);

/// Shows the "Application Error" box (warning icon, OK) for one failed step.
void reportFailure(
    const MessageBoxes& boxes, const QString& description, const QString& location, int line);

/// The description of the exception currently being handled.
QString currentFailureDescription();

/// Runs the numbered steps of one reporting procedure. A step that throws is reported with
/// its line and the procedure goes on with its next step, so no failure ends the program.
/// The procedure's own boxes go through the same boxes as its reports.
///
///     Steps step(boxes, "Form1", "PushButton2_Click");
///     step(100, [&] { bookmark = table.Bookmark(); });
class Steps
{
public:
    Steps(const MessageBoxes& boxes, const char* object, const char* procedure);

    /// Runs one step under its line number; false when it failed (and was reported).
    template <typename Step> bool operator()(int line, Step&& step) noexcept
    {
        mLine = line;
        try {
            step();
            return true;
        } catch (...) {
            report();
            return false;
        }
    }

    /// A condition step: a test that fails lets execution in, as if it had answered true.
    template <typename Test> bool test(int line, Test&& condition) noexcept
    {
        bool result = true;
        (*this)(line, [&] { result = condition(); });
        return result;
    }

    /// Runs actions as the consecutive steps firstLine, firstLine + 2, ... (a library hands
    /// out what to do; the handler owns the lines its report shows).
    void sequence(int firstLine, const std::vector<std::function<void()>>& actions) noexcept
    {
        for (const auto& action : actions) {
            (*this)(firstLine, action);
            firstLine += 2;
        }
    }

    /// What else may have made a step fail, asked at each report (a full disk): a sentence
    /// put before the description, unless it is empty or the description names a full disk.
    void setCause(std::function<QString()> cause) { mCause = std::move(cause); }

    int line() const { return mLine; }
    int failures() const { return mFailures; }
    const QString& location() const { return mLocation; }
    const MessageBoxes& boxes() const { return mBoxes; }

private:
    void report() noexcept;

    const MessageBoxes& mBoxes;
    QString mLocation;
    int mLine = 0;
    int mFailures = 0;
    std::function<QString()> mCause;
};

/// Runs code that has no report of its own where nothing may escape (event handlers the
/// toolkit calls directly); a failure is dropped. Returns false when it failed.
template <typename Code> bool swallow(Code&& code) noexcept
{
    try {
        code();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace tessivane
