#pragma once
// Shared pieces of the preview tests: pictures and scripted answers for the save dialog.

#include "support/scriptedboxes.h"
#include "support/testmain.h"

#include "preview/form2.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace previewtesting {

/// A picture of the given pixel size in one colour, with a darker frame so that the edges show.
inline QImage Picture(int width, int height, QColor colour = QColor(200, 40, 40))
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.setPen(colour.darker(200));
    painter.drawRect(0, 0, width - 1, height - 1);
    return image;
}

/// A save dialog that answers from a script, with the filter chosen, and records what it was
/// shown.
class ScriptedDialog : public tessivane::SaveFileDialog
{
public:
    struct Shown
    {
        QString fileName, title, filter;
    };
    explicit ScriptedDialog(QStringList answers, QList<Shown>* shown, int filterIndex = 1)
        : mAnswers(std::move(answers))
        , mShown(shown)
        , mFilterIndex(filterIndex)
    { }
    QString ShowSave(const QString& fileName, const QString& title, const QString& filter) override
    {
        mShown->append({fileName, title, filter});
        return mAnswers.isEmpty() ? QString() : mAnswers.takeFirst();
    }
    int FilterIndex() const override { return mFilterIndex; }

private:
    QStringList mAnswers;
    QList<Shown>* mShown;
    int mFilterIndex;
};

/// Shows the window as the generation run does and lets the pending events run; true when
/// the initialisation has run.
inline bool ShowActive(tessivane::Form2& form)
{
    form.show();
    form.activateWindow();
    QCoreApplication::processEvents();
    return !form.firstActivate();
}

} // namespace previewtesting
