// Renders the preview with a sample sheet picture to PNG files, to look at the layout by eye:
//   preview_screenshot OUTPUT-PREFIX
// writes OUTPUT-PREFIX-1.png (as handed over), -2.png (zoomed out) and -3.png (zoomed in
// and scrolled).
#include "preview/form2.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QScrollBar>

using namespace tessivane;

namespace {

/// Something like a filled inventory sheet: a title, a header row and grid lines.
QImage SampleSheet()
{
    QImage image(1400, 700, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 16, QFont::Bold));
    painter.drawText(20, 36, QStringLiteral("Equipment Inventory List"));
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 9));
    painter.fillRect(0, 50, 1400, 21, QColor(31, 73, 125));
    for (int row = 0; row < 30; ++row) {
        const int y = 50 + row * 21;
        painter.setPen(QColor(200, 200, 200));
        painter.drawLine(0, y, 1400, y);
        for (int column = 0; column < 13; ++column) {
            const int x = column * 107;
            painter.setPen(QColor(200, 200, 200));
            painter.drawLine(x, 50, x, 700);
            painter.setPen(row == 0 ? Qt::white : Qt::black);
            painter.drawText(x + 4, y + 15,
                row == 0 ? QStringLiteral("Column %1").arg(column + 1)
                         : QStringLiteral("R%1 C%2").arg(row).arg(column + 1));
        }
    }
    return image;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString prefix = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("preview");
    QWidget mainWindow;
    const MessageBoxes boxes;
    Form2 form(&mainWindow, {}, boxes);
    form.setPicture(SampleSheet());
    form.show();
    form.activateWindow();
    QApplication::processEvents();
    if (form.firstActivate())
        form.Form_Activate();
    form.grab().save(prefix + QStringLiteral("-1.png"));
    form.PushButton2_Click();
    form.PushButton2_Click();
    form.grab().save(prefix + QStringLiteral("-2.png"));
    form.PushButton1_Click();
    form.PushButton1_Click();
    form.hScroll1()->setValue(300);
    form.vScroll1()->setValue(100);
    form.grab().save(prefix + QStringLiteral("-3.png"));
    return 0;
}
