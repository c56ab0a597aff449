#include "core/messagebox.h"

#include "core/apptitle.h"

#include <QApplication>
#include <QMessageBox>

namespace tessivane {

namespace {

int showRealBox(const MessageBoxCall& call)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(call.title);
    box.setText(call.prompt);
    box.setIcon((call.buttons & vbExclamation) == vbExclamation ? QMessageBox::Warning
                                                                : QMessageBox::NoIcon);
    if ((call.buttons & 0xF) == vbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(
            (call.buttons & vbDefaultButton2) ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return vbOK;
}

} // namespace

MessageBoxes::MessageBoxes(MessageBoxResponder responder)
    : mResponder(std::move(responder))
{ }

int MessageBoxes::MsgBox(const QString& prompt, int buttons, const QString& title) const
{
    const MessageBoxCall call {prompt, buttons, title.isEmpty() ? ApplicationTitle() : title};
    if (mResponder)
        return mResponder(call);
    return showRealBox(call);
}

} // namespace tessivane
