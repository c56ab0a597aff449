#pragma once
// Shared pieces of the preview tests: a private settings folder, pictures, and scripted
// answers for the save dialog and the message boxes.

#include "core/messagebox.h"
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

/// Like QTEST_MAIN, but the settings live in a throw-away folder and windows are offscreen.
#define PREVIEW_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        QTemporaryDir settings;                                                                    \
        qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());                                 \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication app(argc, argv);                                                              \
        app.setQuitOnLastWindowClosed(false);                                                      \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

namespace previewtesting {

/// Outside a BoxScript no real box may block a test: an unexpected one is a failure.
inline void AnswerUnexpectedBoxes()
{
    tessivane::SetMessageBoxResponder([](const tessivane::MessageBoxCall& call) {
        qCritical("Unexpected message box: %s", qPrintable(call.prompt));
        QTest::qFail("Unexpected message box", __FILE__, __LINE__);
        return int(tessivane::vbOK);
    });
}

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

/// Records every message box and answers from a script (OK when the script is empty).
struct BoxScript
{
    QList<tessivane::MessageBoxCall> calls;
    QList<int> answers;
    std::function<void(const tessivane::MessageBoxCall&)> during;

    BoxScript()
    {
        tessivane::SetMessageBoxResponder([this](const tessivane::MessageBoxCall& call) {
            calls.append(call);
            if (during)
                during(call);
            return answers.isEmpty() ? int(tessivane::vbOK) : answers.takeFirst();
        });
    }
    ~BoxScript() { AnswerUnexpectedBoxes(); }

    QStringList prompts() const
    {
        QStringList list;
        for (const auto& call : calls)
            list << call.prompt;
        return list;
    }
};

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
