#include "core/elasticlayout.h"

#include <QEvent>
#include <QWidget>

#include <cmath>

namespace tessivane {

ElasticLayout::ElasticLayout(QWidget* window)
    : QObject(window)
    , mWindow(window)
    , mStart(window->size())
{
    window->setMinimumSize(mStart);
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->installEventFilter(this);
}

void ElasticLayout::add(QWidget* control, Share share, Place place)
{
    if (!place)
        place = [control](const QRect& rect) { control->setGeometry(rect); };
    mControls.append({control, control->geometry(), share, std::move(place)});
    apply();
}

QSize ElasticLayout::growth() const
{
    return (mWindow->size() - mStart).expandedTo(QSize(0, 0));
}

bool ElasticLayout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mWindow && event->type() == QEvent::Resize)
        apply();
    return QObject::eventFilter(watched, event);
}

void ElasticLayout::apply()
{
    const QSize grown = growth();
    const auto part = [](float share, int gained) { return int(std::lround(share * gained)); };
    for (const Control& control : std::as_const(mControls)) {
        if (!control.widget)
            continue;
        const QRect rect(control.start.left() + part(control.share.left, grown.width()),
            control.start.top() + part(control.share.top, grown.height()),
            control.start.width() + part(control.share.width, grown.width()),
            control.start.height() + part(control.share.height, grown.height()));
        if (rect != control.widget->geometry())
            control.place(rect);
    }
}

} // namespace tessivane
