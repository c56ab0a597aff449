// Times of the spreadsheet layer on the real LibreOffice: instance start-up, cell writes,
// save, reopen, snapshot, and the whole generation sequence at 16 and 500 rows.

#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "core/messagebox.h"
#include "office/services/backgroundreleases.h"
#include "office/services/excel1.h"
#include "office/services/libreoffice.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using namespace tessivane;

namespace {

double Time(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void Print(const char* what, double ms)
{
    std::printf("%-52s %9.1f ms\n", what, ms);
    std::fflush(stdout);
}

/// The carried template when the resources hold it, otherwise a stand-in converted here.
QString MakeTemplate(Services& services, const QString& folder)
{
    for (const QString& source :
        {QStringLiteral(":/template.xlt"), QStringLiteral(SOURCE_DIR "/resources/template.xlt")}) {
        if (QFile::exists(source)) {
            const QString path = folder + QStringLiteral("/template.xlt");
            QFile::copy(source, path);
            std::printf("template: %s\n", qPrintable(source));
            return path;
        }
    }
    const QString path = folder + QStringLiteral("/standin.xls");
    ApplicationPtr app = createApplication(services);
    auto book = app->workbooks().Open(QStringLiteral(STANDIN_FODS));
    book->SaveAs(path, 56);
    book->Close();
    app->Quit();
    std::printf("template: the test stand-in (no :/template.xlt yet)\n");
    return path;
}

void WriteRow(Application& app, int row, int serial)
{
    app.Worksheets(1)->PutCell(row, 1, QStringLiteral("SN-%1").arg(serial));
    app.Worksheets(1)->PutCell(row, 2, QStringLiteral("Forklift model %1").arg(serial));
    app.Worksheets(1)->PutCell(row, 3, QStringLiteral("Warehouse"));
    app.Worksheets(1)->PutCell(row, 4, QStringLiteral("Good"));
    app.Worksheets(1)->PutCell(row, 5, QString());
    app.Worksheets(1)->PutCell(row, 6, 7);
    app.Worksheets(1)->PutCell(row, 7, 25000.5);
    app.Worksheets(1)->PutCell(row, 8, 5000.0);
    app.Worksheets(1)->PutCell(row, 9, QDate(2021, 3, 1).addDays(serial));
    app.Worksheets(1)->PutCell(row, 10, 5);
    app.Worksheets(1)->PutCell(row, 11, 4);
    app.Worksheets(1)->PutCell(row, 13, 120.25);
    app.Worksheets(1)->PutCell(row, 15, 8000.0);
}

/// Fill, select, save, quit; reopen, snapshot, quit: the run's calls in the run's order.
void WholeRun(Services& services, const MessageBoxes& boxes, const QString& templatePath,
    const QString& folder, int rows, bool buffered)
{
    services.office.bufferedWrites = buffered;
    const QString result = folder + QStringLiteral("/run%1.xls").arg(rows);
    const QString picture = folder + QStringLiteral("/temp.bmp");
    double start = 0, open = 0, writes = 0, select = 0, save = 0, quit = 0, reopen = 0, snap = 0,
           quit2 = 0;
    {
        ApplicationPtr xlApp;
        start = Time([&] { StartExcel(xlApp, services); });
        std::shared_ptr<Workbook> book;
        open = Time([&] { book = xlApp->workbooks().Open(templatePath); });
        writes = Time([&] {
            for (int i = 0; i < rows; ++i)
                WriteRow(*xlApp, 4 + i, i);
        });
        select = Time([&] { xlApp->Range_Select(QStringLiteral("B4")); });
        save = Time([&] {
            xlApp->setVisible(false);
            book->SaveAs(result, ExcelSaveFormat(services, xlApp));
        });
        quit = Time([&] {
            xlApp->setDisplayAlerts(false);
            book->Close();
            xlApp->Quit();
            ReleaseExcel(xlApp);
        });
        ApplicationPtr second;
        reopen = Time([&] { second = OpenInNewExcel(services, result); });
        auto reopened = second->workbooks().item(second->workbooks().count());
        snap = Time([&] { saveCellsActivesheet(reopened, picture, boxes); });
        // The snapshot's parts, once more on the same sheet.
        const auto sheet = reopened->ActiveSheet();
        QImage copied;
        std::printf("\n");
        Print("  (snapshot part: used range)", Time([&] {
            sheet->UsedRangeLastRow();
            sheet->UsedRangeLastColumn();
        }));
        PictureClipboard clipboard;
        Print("  (snapshot part: CopyPicture)", Time([&] { sheet->CopyPicture(clipboard); }));
        Print("  (snapshot part: GetClipboardPicture)",
            Time([&] { copied = GetClipboardPicture(clipboard, 0); }));
        Print("  (snapshot part: PNG file, default compression)",
            Time([&] { copied.save(picture + ".default.png", "PNG"); }));
        Print("  (snapshot part: PNG file, quality 80)",
            Time([&] { copied.save(picture + ".png", "PNG", 80); }));
        std::printf("  (PNG file sizes: %lld bytes at the default compression, %lld at 80)\n",
            qint64(QFileInfo(picture + ".default.png").size()),
            qint64(QFileInfo(picture + ".png").size()));
        QFile::remove(picture + ".png");
        QFile::remove(picture + ".default.png");
        quit2 = Time([&] {
            second->setDisplayAlerts(false);
            reopened->Close();
            second->Quit();
        });
    }
    // The parts above, without the snapshot parts measured in between.
    const double total = start + open + writes + select + save + quit + reopen + snap + quit2;
    QImageReader::setAllocationLimit(0); // a picture of 2,000 rows passes Qt's default
    const QImage image = QImageReader(picture).read();
    std::printf("\n%d rows, %s writes (picture %dx%d):\n", rows,
        buffered ? "buffered block" : "cell-by-cell", image.width(), image.height());
    Print("  start instance", start);
    Print("  open template", open);
    Print(QStringLiteral("  %1 x 13 PutCell").arg(rows).toUtf8().constData(), writes);
    Print("  Range(B4).Select (includes the buffered writes)", select);
    Print("  Version + SaveAs .xls", save);
    Print("  Close + Quit", quit);
    Print("  second instance + open result", reopen);
    Print("  snapshot (used range picture to file)", snap);
    Print("  Close + Quit second", quit2);
    Print("  whole sequence", total);
    QFile::remove(result);
    QFile::remove(picture);
    services.office.bufferedWrites = true;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    // The offices the bench starts, with their settings.
    Services services;
    const MessageBoxes boxes([](const MessageBoxCall& call) {
        std::printf("MESSAGE: %s\n", qPrintable(call.prompt));
        return int(vbOK);
    });
    QTemporaryDir folder;
    const QString templatePath = MakeTemplate(services, folder.path());

    std::printf("\nInstance start-up (three in a row):\n");
    for (int i = 0; i < 3; ++i) {
        ApplicationPtr app;
        Print("  start to connected", Time([&] { app = createApplication(services); }));
        Print("  Quit (terminate, exit, profile removed)", Time([&] { app->Quit(); }));
    }

    {
        ApplicationPtr app = createApplication(services);
        auto book = app->workbooks().Open(templatePath);
        std::printf("\nCell writes into the open template:\n");
        for (bool buffered : {true, false}) {
            services.office.bufferedWrites = buffered;
            Print(
                buffered ? "  one 13-cell row, buffered, puts" : "  one 13-cell row, cell by cell",
                Time([&] { WriteRow(*app, 4, 1); }));
            Print("    then the next call (flush + select)",
                Time([&] { app->Range_Select(QStringLiteral("B4")); }));
        }
        services.office.bufferedWrites = true;
        book->Close();
        app->Quit();
    }

    WholeRun(services, boxes, templatePath, folder.path(), 16, true);
    WholeRun(services, boxes, templatePath, folder.path(), 500, true);
    WholeRun(services, boxes, templatePath, folder.path(), 500, false);
    WholeRun(services, boxes, templatePath, folder.path(), 2000, true);
    services.releases->waitForAll();
    return 0;
}
