// What a screen reader calls the preview's controls, the keys and the wheel that zoom and
// scroll its picture, and how the window grows and is kept for the next start.
#include "preview/form2.h"

#include "core/elasticlayout.h"
#include "core/saidelsewhere.h"
#include "core/twips.h"
#include "core/windowplacement.h"
#include "preview/picturebox.h"
#include "preview/viewrules.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QWheelEvent>

#include <cmath>

namespace tessivane {

namespace {

QString placement()
{
    return QStringLiteral("Preview");
}

/// The part of a length from..to of total, in whole percent, as a screen reader says it.
QString percentSpan(float from, float length, float total)
{
    if (total <= 0)
        return QStringLiteral("none of it");
    const auto percent
        = [total](float at) { return int(std::lround(qBound(0.0f, at / total, 1.0f) * 100)); };
    return QStringLiteral("%1 % to %2 %").arg(percent(from)).arg(percent(from + length));
}

} // namespace

void Form2::describeControls()
{
    // The window's caption is the program's, as the main window's is; the name tells them apart.
    setAccessibleName(QStringLiteral("Tessivane \u2013 preview of the sheet"));
    VScroll1->setAccessibleName(QStringLiteral("Scroll the picture up and down"));
    HScroll1->setAccessibleName(QStringLiteral("Scroll the picture sideways"));
    Zoom_Ori->setAccessibleName(QStringLiteral("Unscaled picture of the sheet"));
    PushButton1->setAccessibleDescription(QStringLiteral("Ctrl+Plus"));
    PushButton2->setAccessibleDescription(QStringLiteral("Ctrl+Minus"));
    PushButton8->setAccessibleDescription(
        QStringLiteral("Discards the workbook and returns to the list (Escape)."));
    PushButton6->setAccessibleDescription(QStringLiteral("Ctrl+S"));
    // The picture takes the focus, so that the arrow and page keys scroll it; its view says
    // what it shows, the image box inside is not read a second time.
    Picture2->setFocusPolicy(Qt::StrongFocus);
    keepFromScreenReaders(Picture1);
    describePicture();
}

void Form2::describePicture()
{
    const QString name
        = QStringLiteral("Picture of the sheet, zoom %1 %").arg(int(std::lround(mZoom * 100)));
    const float top = -Picture1->Top();
    const QString rows = rowsInView(
        mSheetRows.first, mSheetRows.twips, top / mZoom, (top + Picture2->ScaleHeight()) / mZoom);
    // The rows' numbers when the run told them; the part of the picture otherwise.
    const QString height = rows.isEmpty()
        ? percentSpan(top, Picture2->ScaleHeight(), Picture1->Height())
            + QStringLiteral(" of its height")
        : rows;
    const QString view
        = QStringLiteral("In view: %1, %2 of its width.")
              .arg(height,
                  percentSpan(-Picture1->Left(), Picture2->ScaleWidth(), Picture1->Width()));
    Picture2->setAccessibleName(name);
    Picture2->setAccessibleDescription(view);
}

void Form2::setSheetRows(const SheetRows& rows)
{
    mSheetRows = rows;
    describePicture();
}

bool Form2::pictureKey(const QKeyEvent& event)
{
    QScrollBar* bar = VScroll1;
    int steps = 0;
    switch (event.key()) {
    case Qt::Key_Up:
        steps = -1;
        break;
    case Qt::Key_Down:
        steps = 1;
        break;
    case Qt::Key_PageUp:
        steps = -10;
        break;
    case Qt::Key_PageDown:
        steps = 10;
        break;
    case Qt::Key_Left:
        bar = HScroll1;
        steps = -1;
        break;
    case Qt::Key_Right:
        bar = HScroll1;
        steps = 1;
        break;
    default:
        return false;
    }
    if (bar->isEnabled())
        bar->setValue(bar->value() + steps);
    return true;
}

void Form2::addKeys()
{
    const auto shortcut = [this](QKeyCombination keys, void (Form2::*handler)()) {
        auto* key = new QShortcut(QKeySequence(keys), this);
        key->setAutoRepeat(
            handler != &Form2::PushButton6_Click && handler != &Form2::PushButton8_Click);
        connect(key, &QShortcut::activated, this, [this, handler] { (this->*handler)(); });
    };
    // Ctrl+= is Ctrl+Plus without Shift on keyboards that put "+" above "=".
    shortcut(Qt::CTRL | Qt::Key_Plus, &Form2::PushButton1_Click);
    shortcut(Qt::CTRL | Qt::Key_Equal, &Form2::PushButton1_Click);
    shortcut(Qt::CTRL | Qt::Key_Minus, &Form2::PushButton2_Click);
    shortcut(Qt::CTRL | Qt::Key_S, &Form2::PushButton6_Click);
    shortcut(QKeyCombination(Qt::Key_Escape), &Form2::PushButton8_Click);
}

void Form2::wheelTurned(const QWheelEvent& event)
{
    const QPoint delta = event.angleDelta();
    if (event.modifiers() & Qt::ControlModifier) {
        mWheelZoom += delta.y() != 0 ? delta.y() : delta.x();
        for (; mWheelZoom >= kWheelNotch; mWheelZoom -= kWheelNotch)
            PushButton1_Click();
        for (; mWheelZoom <= -kWheelNotch; mWheelZoom += kWheelNotch)
            PushButton2_Click();
        return;
    }
    int horizontal = delta.x();
    int vertical = delta.y();
    if (event.modifiers() & Qt::ShiftModifier) {
        horizontal = vertical != 0 ? vertical : horizontal;
        vertical = 0;
    }
    // Through the bars, so that their limits hold and the picture follows as from the bars.
    const auto scroll = [](QScrollBar* bar, qint16 step, int turn) {
        if (turn != 0 && bar->isEnabled())
            bar->setValue(bar->value() + wheelScrollUnits(turn, step));
    };
    scroll(HScroll1, mHStep, horizontal);
    scroll(VScroll1, mVStep, vertical);
}

void Form2::makeGrowable()
{
    auto* layout = new ElasticLayout(this);
    using Share = ElasticLayout::Share;
    layout->add(Picture2, Share {0, 0, 1, 1}, [this](const QRect& rect) {
        Picture2->setWidth(float(rect.width() * kTwipsPerPixel));
        Picture2->setHeight(float(rect.height() * kTwipsPerPixel));
        // The bars are set up again for the new view, once the picture has been.
        if (!mFirstActivate && mOrigWidth > 0)
            SetupScrollbars();
        describePicture();
    });
    layout->add(VScroll1, Share {1, 0, 0, 1});
    layout->add(HScroll1, Share {0, 1, 1, 0});
    layout->add(Frame1, Share {0, 1, 1, 0});
    layout->add(PushButton1, Share {0, 0, 0.5f, 0});
    layout->add(PushButton2, Share {0.5f, 0, 0.5f, 0});
    layout->add(PushButton8, Share {0, 1, 0.5f, 0});
    layout->add(PushButton6, Share {0.5f, 1, 0.5f, 0});
    WindowPlacement(placement()).restore(this);
}

void Form2::keepPlacement()
{
    WindowPlacement(placement()).keep(this);
}

} // namespace tessivane
