// How the main window is built: its controls at their places, what a screen reader calls them,
// the keys of the keyboard user, and how the window grows and is kept for the next start.
#include "app/form1.h"

#include "core/elasticlayout.h"
#include "core/saidelsewhere.h"
#include "core/twips.h"
#include "core/windowlook.h"
#include "core/windowplacement.h"
#include "grid/columnheadings.h"
#include "grid/datagrid.h"
#include "grid/listeditor.h"
#include "office/services/services.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace tessivane {

namespace {

QRect twipRect(double left, double top, double width, double height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

QFont arialBold(double points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

struct HeaderLabel
{
    int number; // LabelN
    const char* caption;
    int left;
    int width;
    int column; // the grid column under it; -1 over the row selectors
};

// One label over each grid column, in the order the window holds them.
constexpr std::array<HeaderLabel, 14> kHeaderLabels {{
    {14, "", 135, 330, -1},
    {13, "Expected value at end of loan term", 11010, 1515, 12},
    {12, "Monthly operating costs", 9930, 1095, 11},
    {11, "Initial value", 6105, 810, 6},
    {10, "Down payment", 6900, 855, 7},
    {9, "Date purchased or leased", 7740, 1020, 8},
    {8, "Loan term in years", 8745, 615, 9},
    {7, "Loan rate", 9345, 600, 10},
    {6, "Years of service left", 5415, 705, 5},
    {5, "Vendor", 4665, 765, 4},
    {4, "Condition", 3705, 975, 3},
    {3, "Location", 2820, 900, 2},
    {2, "Item description(make and model)", 1215, 1620, 1},
    {1, "Asset or serial number", 450, 780, 0},
}};

QPushButton* makeButton(QWidget* parent, const char* caption, QRect geometry)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setGeometry(geometry);
    button->setFont(arialBold(11.25));
    return button;
}

} // namespace

void Form1::buildControls()
{
    // The starting size; the window may be made larger (makeGrowable).
    resize(twipsToPixels(12945), twipsToPixels(5910));
    setFont(arialBold(9));
    setFixedBackground(this, Qt::white);

    PushButton22 = makeButton(this, "Start Creating Template", twipRect(120, 120, 12720, 400));

    Frame2 = new QGroupBox(QStringLiteral("Equipment Inventory List:"), this);
    Frame2->setGeometry(twipRect(120, 1050, 12720, 4740));
    Frame2->setFont(arialBold(9));

    DataGrid1 = new DataGrid(mServices.boxes, Frame2);
    DataGrid1->setGeometry(twipRect(135, 1305, 12390, 2790));

    PushButton2 = makeButton(Frame2, "Insert Below Selected Row", twipRect(135, 4185, 3990, 400));
    PushButton3 = makeButton(Frame2, "Delete All", twipRect(4200, 4185, 3990, 400));
    PushButton1 = makeButton(Frame2, "Delete Selected Row", twipRect(8280, 4185, 4260, 400));

    for (const HeaderLabel& header : kHeaderLabels) {
        auto* label = new QLabel(QString::fromLatin1(header.caption), Frame2);
        label->setObjectName(QStringLiteral("Label%1").arg(header.number));
        label->setGeometry(twipRect(header.left, 360, header.width, 960));
        label->setFont(arialBold(9));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignCenter);
        setFixedBackground(label, QColor(0xC0, 0xC0, 0xC0));
        // A screen reader hears the grid's own column headings, which say the same.
        keepFromScreenReaders(label);
        Labels[header.number - 1] = label;
    }

    PushButton6 = makeButton(this, "Help", twipRect(120, 630, 6360, 405));
    PushButton7 = makeButton(this, "Load Sample/Example Data", twipRect(6600, 630, 6240, 405));

    // The frame takes no focus; the grid comes first, so it holds the focus at start.
    setTabOrder(DataGrid1, PushButton22);
    setTabOrder(PushButton22, PushButton2);
    setTabOrder(PushButton2, PushButton3);
    setTabOrder(PushButton3, PushButton1);
    setTabOrder(PushButton1, PushButton6);
    setTabOrder(PushButton6, PushButton7);

    connect(PushButton22, &QPushButton::clicked, this, [this] { PushButton22_Click(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(DataGrid1, &DataGrid::validate, this, [this] { DataGrid1_Validate(); });
    DataGrid1->editor().setWorkbookReader(
        [this](const QString& workbook, const ReadProgress& progress) {
            return readWorkbook(workbook, progress);
        });

    for (QWidget* surface : {static_cast<QWidget*>(this), static_cast<QWidget*>(Frame2),
             static_cast<QWidget*>(DataGrid1), DataGrid1->viewport()})
        OnMouseMove(surface, [this] { mPointer.hoverSurface(); });
    for (QPushButton* button :
        {PushButton22, PushButton6, PushButton7, PushButton1, PushButton2, PushButton3})
        OnMouseMove(button, [this] { mPointer.hoverButton(); });

    describeControls();
    addKeys();
    makeGrowable();
}

void Form1::describeControls()
{
    // Both windows are called "Tessivane" on screen; a screen reader tells them apart.
    setAccessibleName(QStringLiteral("Tessivane \u2013 equipment inventory list"));
    PushButton22->setAccessibleDescription(
        QStringLiteral("Makes the workbook from the list and shows its picture (F5)."));
    PushButton6->setAccessibleDescription(QStringLiteral("Tells whom to ask."));
    PushButton7->setAccessibleDescription(QStringLiteral("Puts two example rows into the list."));
    PushButton2->setAccessibleDescription(
        QStringLiteral("Adds a blank row below the selected one."));
    PushButton3->setAccessibleDescription(QStringLiteral("Empties the list, after asking."));
    PushButton1->setAccessibleDescription(
        QStringLiteral("Deletes the selected rows, after asking."));
}

void Form1::addKeys()
{
    const auto action = [this](const char* text, const QList<QKeySequence>& keys) {
        return addKeyedAction(this, QString::fromLatin1(text), keys, Qt::WindowShortcut);
    };
    QAction* start = action("Start Creating Template",
        {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_Return),
            QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    QAction* close = action("Close", {QKeySequence(Qt::CTRL | Qt::Key_Q)});
    // As a click: the focus goes to the button first, so the grid stores its rows as it would.
    connect(start, &QAction::triggered, this, [this] {
        PushButton22->setFocus(Qt::ShortcutFocusReason);
        PushButton22->click();
    });
    connect(close, &QAction::triggered, this, [this] { this->close(); });
    // Listed with the grid's own keys, at the end of its menu.
    DataGrid1->editor().contextMenu()->addActions({start, close});
}

void Form1::makeGrowable()
{
    auto* layout = new ElasticLayout(this);
    using Share = ElasticLayout::Share;
    const float third = 1.0f / 3;
    layout->add(PushButton22, Share {0, 0, 1, 0});
    layout->add(PushButton6, Share {0, 0, 0.5f, 0});
    layout->add(PushButton7, Share {0.5f, 0, 0.5f, 0});
    layout->add(Frame2, Share {0, 0, 1, 1});
    layout->add(DataGrid1, Share {0, 0, 1, 1});
    layout->add(PushButton2, Share {0, 1, third, 0});
    layout->add(PushButton3, Share {third, 1, third, 0});
    layout->add(PushButton1, Share {2 * third, 1, third, 0});
    // The labels follow the columns under them, not the window.
    mHeadings = new ColumnHeadings(*DataGrid1);
    for (const HeaderLabel& header : kHeaderLabels) {
        if (header.column >= 0)
            mHeadings->add(label(header.number), header.column);
    }
}

void Form1::restorePlacement()
{
    const WindowPlacement placement(QStringLiteral("MainWindow"));
    mHeadings->setColumnWidths(placement.values(QStringLiteral("ColumnWidths")));
    placement.restore(this);
}

void Form1::keepPlacement()
{
    const WindowPlacement placement(QStringLiteral("MainWindow"));
    placement.keep(this);
    placement.setValues(QStringLiteral("ColumnWidths"), mHeadings->columnWidths());
}

} // namespace tessivane
