#pragma once

// The one scripted answerer of the program's message boxes in tests.

#include "core/messagebox.h"

#include <QList>
#include <QStringList>
#include <QTest>

#include <functional>

namespace tessivane::test {

/// Boxes that no test expects: any box is a failure of the test. What a window or procedure
/// gets in a test that does not script its boxes.
class UnexpectedBoxes : public MessageBoxes
{
public:
    UnexpectedBoxes()
        : MessageBoxes([](const MessageBoxCall& call) {
            qCritical("Unexpected message box: %s", qPrintable(call.prompt));
            QTest::qFail("Unexpected message box", __FILE__, __LINE__);
            return int(vbOK);
        })
    { }
};

/// Answers every message box from a script and records it. Without a scripted answer a
/// question gets questionAnswer (No) and a notice OK. Handed in where the boxes are shown; it
/// must outlive what it is handed to.
class ScriptedBoxes : public MessageBoxes
{
public:
    ScriptedBoxes()
        : MessageBoxes([this](const MessageBoxCall& call) {
            calls.append(call);
            if (during)
                during(call);
            if (!answers.isEmpty())
                return answers.takeFirst();
            return (call.buttons & 0xF) == vbYesNo ? questionAnswer : int(vbOK);
        })
    { }
    ScriptedBoxes(const ScriptedBoxes&) = delete;
    ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

    /// The texts of the "Application Error" reports shown so far.
    QStringList failures() const
    {
        QStringList result;
        for (const MessageBoxCall& call : calls) {
            if (call.title == QLatin1String("Application Error"))
                result.append(call.prompt);
        }
        return result;
    }

    /// Every prompt shown so far.
    QStringList prompts() const
    {
        QStringList result;
        for (const MessageBoxCall& call : calls)
            result.append(call.prompt);
        return result;
    }

    QList<MessageBoxCall> calls;
    QList<int> answers;
    /// The answer to a question when no scripted answer is left.
    int questionAnswer = vbNo;
    /// Runs while a box is up (a test's look at the state a box sees).
    std::function<void(const MessageBoxCall&)> during;
};

} // namespace tessivane::test
