#include "core/windowlook.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tessivane {

namespace {

double luminance(const QColor& colour)
{
    const auto channel = [](double value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF())
        + 0.0722 * channel(rgb.blueF());
}

class MouseMoveHook : public QObject
{
public:
    MouseMoveHook(QObject* parent, std::function<void()> hover)
        : QObject(parent)
        , mHover(std::move(hover))
    { }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter
            || event->type() == QEvent::HoverMove)
            mHover();
        return false;
    }

private:
    std::function<void()> mHover;
};

} // namespace

double contrastRatio(const QColor& first, const QColor& second)
{
    const double a = luminance(first);
    const double b = luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor readableTextOn(const QColor& background)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(background, black) >= contrastRatio(background, white) ? black : white;
}

void setFixedBackground(QWidget* widget, const QColor& background)
{
    QPalette palette = widget->palette();
    const QColor text = readableTextOn(background);
    // Every state: a disabled or inactive window keeps the same pair.
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Disabled, QPalette::WindowText,
        contrastRatio(background, QColor(Qt::darkGray)) >= 3 ? QColor(Qt::darkGray)
                                                             : QColor(Qt::lightGray));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QIcon programIcon()
{
    QIcon icon;
    const QDir sizes(QStringLiteral(":/icons"));
    for (const QString& name : sizes.entryList({QStringLiteral("*.png")}, QDir::Files))
        icon.addFile(sizes.filePath(name));
    return icon;
}

QPoint cursorHotSpot(const QString& path)
{
    // Qt's reader drops the hot spot of a .cur file; it sits in the first directory entry.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(14);
    if (head.size() < 14 || qFromLittleEndian<quint16>(head.constData() + 2) != 2)
        return {};
    return {qFromLittleEndian<quint16>(head.constData() + 10),
        qFromLittleEndian<quint16>(head.constData() + 12)};
}

void ApplyFaceColor(QWidget* window)
{
    const QColor face = window->palette().color(QPalette::Active, QPalette::Button);
    setFixedBackground(window, face);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child)
            || qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child))
            setFixedBackground(child, face);
    }
}

MousePointer::MousePointer(QWidget* window)
    : mWindow(window)
{ }

void MousePointer::set(int value)
{
    mValue = value;
    apply();
}

void MousePointer::loadMouseIcon(const QString& path)
{
    const QPixmap picture(path);
    if (picture.isNull())
        throw std::runtime_error(QStringLiteral("Invalid picture: %1").arg(path).toStdString());
    const QPoint hotSpot = cursorHotSpot(path);
    mCustom = QCursor(picture, hotSpot.x(), hotSpot.y());
    apply();
}

void MousePointer::hoverButton()
{
    if (mValue != vbHourglass)
        set(vbCustom);
}

void MousePointer::hoverSurface()
{
    if (mValue != vbHourglass)
        set(vbDefault);
}

void MousePointer::apply()
{
    if (!mWindow)
        return;
    switch (mValue) {
    case vbHourglass:
        mWindow->setCursor(Qt::WaitCursor);
        break;
    case vbCustom:
        mWindow->setCursor(mCustom ? *mCustom : QCursor(Qt::ArrowCursor));
        break;
    default:
        mWindow->setCursor(Qt::ArrowCursor);
        break;
    }
}

QAction* addKeyedAction(QWidget* owner, const QString& text, const QList<QKeySequence>& keys,
    Qt::ShortcutContext context)
{
    auto* action = new QAction(text, owner);
    action->setShortcuts(keys);
    action->setShortcutContext(context);
    action->setShortcutVisibleInContextMenu(true);
    owner->addAction(action);
    return action;
}

void OnMouseMove(QWidget* widget, std::function<void()> hover)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(new MouseMoveHook(widget, std::move(hover)));
}

} // namespace tessivane
