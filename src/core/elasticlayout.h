#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <functional>

class QWidget;

namespace tessivane {

/// Lets a window whose controls sit at fixed places grow: at its starting size every control
/// is exactly where it was put, and beyond it each control takes its share of what the window
/// gained. The window cannot be made smaller than its starting size.
class ElasticLayout : public QObject
{
public:
    /// Shares of the window's growth: 0 keeps the place or size, 1 follows the growth fully.
    struct Share
    {
        float left = 0;
        float top = 0;
        float width = 0;
        float height = 0;
    };
    /// How a control takes a new rectangle in pixels (its own setGeometry when none is given).
    using Place = std::function<void(const QRect&)>;

    /// Takes the window's current size as its starting size.
    explicit ElasticLayout(QWidget* window);

    /// The control, at the geometry it has now, takes these shares from now on.
    void add(QWidget* control, Share share, Place place = {});

    /// What the window has gained beyond its starting size.
    QSize growth() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();

    struct Control
    {
        QPointer<QWidget> widget;
        QRect start;
        Share share;
        Place place;
    };
    QWidget* mWindow;
    QSize mStart;
    QList<Control> mControls;
};

} // namespace tessivane
