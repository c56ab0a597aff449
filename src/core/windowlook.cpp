#include "core/windowlook.h"

#include <QAbstractButton>
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

#include <stdexcept>

namespace tessivane {

namespace {

void paintFace(QWidget* widget, const QColor& face)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, face);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
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
    paintFace(window, face);
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child)
            || qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child))
            paintFace(child, face);
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

void OnMouseMove(QWidget* widget, std::function<void()> hover)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(new MouseMoveHook(widget, std::move(hover)));
}

} // namespace tessivane
