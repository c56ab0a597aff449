// The whole generation run, click to preview shown, for 16, 500 and 2,000 rows, beside the
// cost of one bare spreadsheet instance start. Run by hand (`make bench`); prints seconds.
#include "app/form1.h"
#include "core/messagebox.h"
#include "inventory/inventorytable.h"
#include "office/spreadsheet.h"
#include "preview/form2.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace tessivane;

namespace {

void FillRows(InventoryTable& table, int rows)
{
    while (table.RecordCount() > 0) {
        table.MoveFirst();
        table.Delete();
    }
    for (int i = 0; i < rows; ++i) {
        table.AddNew();
        table.SetValue(0, QStringLiteral("SN-%1").arg(100000 + i));
        table.SetValue(1, QStringLiteral("Desk g-%1").arg(i));
        table.SetValue(2, QStringLiteral("Office"));
        table.SetValue(3, QStringLiteral("Normal"));
        table.SetValue(4, QStringLiteral("John's  manufacture"));
        table.SetValue(5, 2);
        table.SetValue(6, 149.99 + i);
        table.SetValue(7, 10.0);
        table.SetValue(8, QDate(2015, 8, 11));
        table.SetValue(9, 3);
        table.SetValue(10, 5);
        table.SetValue(11, 10.0);
        table.SetValue(12, 20.0);
    }
    table.MoveFirst();
}

double SecondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir config;
    QTemporaryDir temp;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("TEMP", temp.path().toLocal8Bit());
    QApplication app(argc, argv);
    int reports = 0;
    SetMessageBoxResponder([&](const MessageBoxCall& call) {
        ++reports;
        std::fprintf(stderr, "box: %s\n", qPrintable(call.prompt));
        return int(vbOK);
    });

    Form1 form;
    form.Form_Load();
    form.show();

    const double bareStart = SecondsOf([] { CreateApplication()->Quit(); });
    std::printf("bare instance start + quit: %.2f s\n", bareStart);
    for (int rows : {16, 500, 2000}) {
        FillRows(form.table(), rows);
        const double run = SecondsOf([&] { form.PushButton22_Click(); });
        std::printf("run with %4d rows, click to preview shown: %.2f s (%.1f x a bare start)%s\n",
            rows, run, run / bareStart, form.preview()->isVisible() ? "" : " [no preview]");
        std::fflush(stdout);
        form.preview()->PushButton8_Click();
    }
    std::printf("failure reports: %d\n", reports);
    return reports == 0 ? 0 : 1;
}
