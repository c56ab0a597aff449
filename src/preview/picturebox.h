#pragma once

#include "core/bitmapfile.h"
#include "core/twips.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <vector>

class QPainter;

namespace tessivane {

/// A picture box measured in twips: it holds a picture, can size itself to it, and keeps what
/// is painted on it, so that moving the box never rescales its content. What is painted is
/// kept as the stretch-paints themselves, and only the part of the box that is on screen is
/// drawn from them: a picture of any height, even one read in place from its file, takes
/// memory only for what is looked at. Its position is relative to its container's interior.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    PictureBox(QWidget* parent, const TwipRect& geometry);

    float Left() const { return mGeometry.Left; }
    float Top() const { return mGeometry.Top; }
    float Width() const { return mGeometry.Width; }
    float Height() const { return mGeometry.Height; }
    float ScaleWidth() const { return mGeometry.ScaleWidth(); }
    float ScaleHeight() const { return mGeometry.ScaleHeight(); }
    const TwipRect& geometry() const { return mGeometry; }

    void setLeft(float left);
    void setTop(float top);
    void setWidth(float width);
    void setHeight(float height);
    /// Moves to a new left and top in one step.
    void Move(float left, float top);

    /// The picture put into the box (null when none). With auto-size on, the box takes its
    /// size; the surface starts again from it.
    const PagedPicture& Picture() const { return mPicture; }
    void setPicture(const PagedPicture& picture);

    bool AutoSize() const { return mAutoSize; }
    void setAutoSize(bool on) { mAutoSize = on; }
    QColor BackColor() const { return mBackColor; }
    void setBackColor(const QColor& colour);

    /// Stretch-paints the source rectangle (twips) of a picture onto the destination
    /// rectangle (twips) of the box's persistent surface.
    void PaintPicture(const PagedPicture& source, float destX, float destY, float destWidth,
        float destHeight, float sourceX, float sourceY, float sourceWidth, float sourceHeight);

    /// What the box shows: its background with the picture and everything painted on it
    /// (for a box of a size that fits in memory).
    QImage surface() const;
    /// Draws the part `area` (pixels of the box) of what the box shows, with its top left at
    /// `at` of the painter.
    void drawPart(QPainter& painter, const QRect& area, const QPoint& at) const;
    /// How many stretch-paints the box has received.
    int paintCount() const { return mPaintCount; }

signals:
    /// Mouse on the box; X and Y in twips of the box's interior. Press and release carry the
    /// button that changed, a move the buttons held down.
    void mouseDown(Qt::MouseButtons button, float X, float Y);
    void mouseMove(Qt::MouseButtons button, float X, float Y);
    void mouseUp(Qt::MouseButtons button, float X, float Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// One stretch-paint: the source rectangle of a picture onto a rectangle of the box (pixels).
    struct Stroke
    {
        PagedPicture source;
        QRect target;
        QRect from;
    };
    void applyGeometry();

    TwipRect mGeometry;
    PagedPicture mPicture;
    std::vector<Stroke> mStrokes; // in the order painted
    QColor mBackColor = Qt::white;
    bool mAutoSize = false;
    int mPaintCount = 0;
};

} // namespace tessivane
