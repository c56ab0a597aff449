// A click on the main window's close box while a failure report holds it during a run: the
// toolkit drops it, the window keeps it for after the run. Real windows and real message boxes
// on a private X server.
#include "support/fakespreadsheet.h"
#include "support/privatedisplay.h"
#include "support/testmain.h"

#include "app/form1.h"
#include "office/services/services.h"
#include "preview/form2.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

using namespace tessivane;
using namespace tessivane::test;

class TestCloseBox : public QObject
{
    Q_OBJECT

private slots:
    void aCloseBoxUnderAFailureReportIsCarriedOutAfterTheRun()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (Xvfb)");
        const DisplayLook look(qEnvironmentVariable("DISPLAY"));
        QVERIFY(look.ok());
        QTemporaryDir temp;
        qputenv("TEMP", QFile::encodeName(temp.path()));
        Services services;
        FakeOffice office;
        std::optional<FakeOffice::Installed> installed(std::in_place, services, office);
        const WindowContext context;
        Form1 form(services, context);
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // A run without an office: each failing step is reported in a real box.
        installed.reset();
        services.makeApplication = []() -> ApplicationPtr { throw std::runtime_error("none"); };
        int reports = 0;
        int ticksSinceAsked = -1;
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (ticksSinceAsked < 0) {
                look.askToClose(quint32(form.winId()));
                ticksSinceAsked = 0;
            }
            // The request has had its time to come through before the box goes.
            if (ticksSinceAsked >= 0 && ++ticksSinceAsked < 10)
                return;
            ++reports;
            box->accept();
        });
        answerer.start(20);
        form.PushButton22_Click();
        answerer.stop();
        qunsetenv("TEMP");
        QVERIFY(reports > 0);
        if (form.preview())
            form.preview()->setProgramEnd([] {});
        // The close comes after the run: the window showing then (the preview) closes.
        QTRY_VERIFY(!form.isVisible() && (!form.preview() || !form.preview()->isVisible()));
    }
};

int main(int argc, char** argv)
{
    // Its own display, with real window-system close requests; offscreen when there is none.
    const PrivateDisplay server;
    if (!server.display().isEmpty()) {
        qputenv("DISPLAY", server.display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    return RunTests<QApplication, TestCloseBox>(argc, argv);
}

#include "tst_closebox.moc"
