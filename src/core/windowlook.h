#pragma once

#include "core/mousepointer.h"

#include <QColor>
#include <QCursor>
#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QPoint>
#include <QString>

#include <functional>
#include <optional>

class QAction;
class QWidget;

namespace tessivane {

/// The contrast ratio of two colours (1 to 21), as accessibility guidelines measure it.
double contrastRatio(const QColor& first, const QColor& second);

/// Black or white, whichever reads better on the background.
QColor readableTextOn(const QColor& background);

/// Gives the widget a background colour of its own and, with it, a text colour that reads on
/// it: a fixed background under a desktop's dark palette would otherwise meet light text.
void setFixedBackground(QWidget* widget, const QColor& background);

/// The system's 3-D face colour (&H8000000F) for a window and its frames, labels, option
/// buttons and check boxes.
void ApplyFaceColor(QWidget* window);

/// The program's icon for its windows: every size rendered from its drawing, so that the window
/// system picks a sharp one.
QIcon programIcon();

/// The hot spot stored in a Windows cursor file; (0, 0) for any other file.
QPoint cursorHotSpot(const QString& path);

/// The mouse pointer of one window: 0 arrow, 11 hourglass, 99 the custom hand pointer
/// (the arrow while no custom pointer is loaded).
class MousePointer
{
public:
    explicit MousePointer(QWidget* window);

    int value() const { return mValue; }
    void set(int value);

    /// Loads the custom pointer from a cursor file; throws when the file cannot be read.
    void loadMouseIcon(const QString& path);
    bool hasMouseIcon() const { return mCustom.has_value(); }

    /// Hover rules: over a button the custom pointer, elsewhere the arrow; neither
    /// replaces the hourglass.
    void hoverButton();
    void hoverSurface();

private:
    void apply();

    QWidget* mWindow;
    int mValue = vbDefault;
    std::optional<QCursor> mCustom;
};

/// A command on keys of its own, added to owner (whose focus or window the context names) and
/// showing its keys where a menu lists it.
QAction* addKeyedAction(QWidget* owner, const QString& text, const QList<QKeySequence>& keys,
    Qt::ShortcutContext context);

/// Installs on a widget a mouse-move hook that calls the given hover rule.
void OnMouseMove(QWidget* widget, std::function<void()> hover);

} // namespace tessivane
