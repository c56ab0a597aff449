#include "preview/picturebox.h"

#include "core/bitmapfile.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tessivane {

namespace {

/// Whether an opaque source rectangle painted onto target hides all of the box.
bool CoversBox(const PagedPicture& source, const QRect& target, const QRect& from, const QRect& box)
{
    return target.contains(box) && source.image().rect().contains(from)
        && !source.image().hasAlphaChannel();
}

/// Draws the part of one stretch-paint that falls in area (pixels of the box), with area's top
/// left at `at`. Only the source rows under that part are looked at, with two more on each
/// side for the smoothing, so that the result is the same as a paint of the whole; rows of a
/// picture read in place from its file are given back once drawn.
void DrawStroke(QPainter& painter, const PagedPicture& picture, const QRect& target,
    const QRect& from, const QRect& area, const QPoint& at)
{
    const QImage& source = picture.image();
    const QRect visible = target & area;
    if (visible.isEmpty() || from.isEmpty())
        return;
    const QPoint offset = at - area.topLeft();
    painter.save();
    painter.setClipRect(visible.translated(offset));
    if (!source.colorTable().isEmpty()) {
        // Rows of an indexed picture cannot be taken apart from its colours.
        painter.drawImage(target.translated(offset), source, from);
        painter.restore();
        return;
    }
    const double scaleY = double(target.height()) / from.height();
    const int first = std::max(
        {from.top() + int(std::floor((visible.top() - target.top()) / scaleY)) - 2, from.top(), 0});
    const int last
        = std::min({from.top() + int(std::ceil((visible.bottom() + 1 - target.top()) / scaleY)) + 1,
            from.bottom(), source.height() - 1});
    if (first <= last) {
        const QImage rows(source.constScanLine(first), source.width(), last - first + 1,
            source.bytesPerLine(), source.format());
        const QRectF to(target.left() + offset.x(),
            target.top() + (first - from.top()) * scaleY + offset.y(), target.width(),
            (last - first + 1) * scaleY);
        painter.drawImage(to, rows, QRectF(from.left(), 0, from.width(), last - first + 1));
        picture.releaseRows(first, last);
    }
    painter.restore();
}

} // namespace

PictureBox::PictureBox(QWidget* parent, const TwipRect& geometry)
    : QWidget(parent)
    , mGeometry(geometry)
{
    setAutoFillBackground(true);
    setBackColor(mBackColor);
    applyGeometry();
}

void PictureBox::setLeft(float left)
{
    mGeometry.Left = left;
    applyGeometry();
}

void PictureBox::setTop(float top)
{
    mGeometry.Top = top;
    applyGeometry();
}

void PictureBox::setWidth(float width)
{
    mGeometry.Width = width;
    applyGeometry();
}

void PictureBox::setHeight(float height)
{
    mGeometry.Height = height;
    applyGeometry();
}

void PictureBox::Move(float left, float top)
{
    mGeometry.Left = left;
    mGeometry.Top = top;
    applyGeometry();
}

void PictureBox::setPicture(const PagedPicture& picture)
{
    mPicture = picture;
    mStrokes.clear();
    if (mAutoSize && !picture.isNull()) {
        mGeometry.Width = static_cast<float>(picture.image().width() * kTwipsPerPixel);
        mGeometry.Height = static_cast<float>(picture.image().height() * kTwipsPerPixel);
        applyGeometry();
    }
    update();
}

void PictureBox::setBackColor(const QColor& colour)
{
    mBackColor = colour;
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colour);
    setPalette(palette);
}

void PictureBox::PaintPicture(const PagedPicture& source, float destX, float destY, float destWidth,
    float destHeight, float sourceX, float sourceY, float sourceWidth, float sourceHeight)
{
    ++mPaintCount;
    const QRect target(twipsToPixels(destX), twipsToPixels(destY), twipsToPixels(destWidth),
        twipsToPixels(destHeight));
    const QRect from(twipsToPixels(sourceX), twipsToPixels(sourceY), twipsToPixels(sourceWidth),
        twipsToPixels(sourceHeight));
    if (source.isNull() || target.isEmpty() || from.isEmpty())
        return;
    // Kept as it was asked for (the picture is shared, not copied) and drawn where it shows;
    // an opaque paint over the whole box hides every earlier one.
    if (CoversBox(source, target, from, rect()))
        mStrokes.clear();
    mStrokes.push_back({source, target, from});
    update();
}

QImage PictureBox::surface() const
{
    // An opaque picture painted 1:1 over the whole box is what the box shows: no second copy.
    if (mStrokes.size() == 1 && mStrokes[0].target == rect() && mStrokes[0].from == rect()
        && mStrokes[0].source.image().size() == size()
        && !mStrokes[0].source.image().hasAlphaChannel())
        return mStrokes[0].source.image();
    if (mStrokes.empty() && mPicture.image().size() == size())
        return mPicture.image();
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(mBackColor);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!mPicture.isNull())
        painter.drawImage(0, 0, mPicture.image());
    for (const Stroke& stroke : mStrokes)
        painter.drawImage(stroke.target, stroke.source.image(), stroke.from);
    return image;
}

void PictureBox::drawPart(QPainter& painter, const QRect& area, const QPoint& at) const
{
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const bool covered = !mStrokes.empty()
        && CoversBox(
            mStrokes.front().source, mStrokes.front().target, mStrokes.front().from, rect());
    if (!covered && !mPicture.isNull())
        DrawStroke(painter, mPicture, mPicture.image().rect(), mPicture.image().rect(), area, at);
    for (const Stroke& stroke : mStrokes)
        DrawStroke(painter, stroke.source, stroke.target, stroke.from, area, at);
}

void PictureBox::applyGeometry()
{
    setGeometry(mGeometry.toPixels());
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    if (mPicture.isNull() && mStrokes.empty())
        return; // the background alone
    QPainter painter(this);
    drawPart(painter, event->rect(), event->rect().topLeft());
}

namespace {
float twipsX(const QMouseEvent* event)
{
    return static_cast<float>(event->position().x() * kTwipsPerPixel);
}
float twipsY(const QMouseEvent* event)
{
    return static_cast<float>(event->position().y() * kTwipsPerPixel);
}
} // namespace

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    emit mouseDown(event->button(), twipsX(event), twipsY(event));
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMove(event->buttons(), twipsX(event), twipsY(event));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    emit mouseUp(event->button(), twipsX(event), twipsY(event));
}

} // namespace tessivane
