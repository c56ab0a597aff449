#pragma once

#include <QString>

#include <functional>

namespace tessivane {

/// Button and icon flags of the program's message boxes.
enum MsgBoxFlags : int {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbExclamation = 48,
    vbDefaultButton2 = 256,
};

/// Answer codes of a message box.
enum MsgBoxResult : int {
    vbOK = 1,
    vbYes = 6,
    vbNo = 7,
};

struct MessageBoxCall
{
    QString prompt;
    int buttons = vbOKOnly;
    QString title;
};

using MessageBoxResponder = std::function<int(const MessageBoxCall&)>;

/// The program's message boxes, handed to every window and procedure that tells or asks the
/// user something: real modal boxes, or a responder's answers (a test's script).
class MessageBoxes
{
public:
    MessageBoxes() = default;
    explicit MessageBoxes(MessageBoxResponder responder);

    /// Shows a modal message box and returns the answer code. An empty title means the
    /// application title.
    int MsgBox(
        const QString& prompt, int buttons = vbOKOnly, const QString& title = QString()) const;

private:
    MessageBoxResponder mResponder;
};

} // namespace tessivane
