#include "app/windowlook.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>

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
    // The hot spot of a .cur file is not exposed by Qt's reader; the hand's fingertip sits
    // at the top left quarter of the picture.
    mCustom = QCursor(picture, picture.width() / 4, 0);
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
