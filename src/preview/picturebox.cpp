#include "preview/picturebox.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace tessivane {

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

void PictureBox::setPicture(const QImage& picture)
{
    mPicture = picture;
    mSurface = QImage();
    if (mAutoSize && !picture.isNull()) {
        mGeometry.Width = static_cast<float>(picture.width() * kTwipsPerPixel);
        mGeometry.Height = static_cast<float>(picture.height() * kTwipsPerPixel);
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

void PictureBox::PaintPicture(const QImage& source, float destX, float destY, float destWidth,
    float destHeight, float sourceX, float sourceY, float sourceWidth, float sourceHeight)
{
    ++mPaintCount;
    const QRect target(TwipsToPixels(destX), TwipsToPixels(destY), TwipsToPixels(destWidth),
        TwipsToPixels(destHeight));
    const QRect from(TwipsToPixels(sourceX), TwipsToPixels(sourceY), TwipsToPixels(sourceWidth),
        TwipsToPixels(sourceHeight));
    if (target == rect() && from == source.rect() && target.size() == source.size()
        && source.format() == QImage::Format_RGB32) {
        // An opaque picture painted 1:1 over the whole box is the picture itself: the surface
        // shares it instead of holding a second copy.
        mSurface = source;
        update();
        return;
    }
    if (mSurface.isNull() || mSurface.size() != size())
        mSurface = surface().convertToFormat(QImage::Format_RGB32);
    QPainter painter(&mSurface);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, source, from);
    painter.end();
    update();
}

QImage PictureBox::surface() const
{
    if (!mSurface.isNull() && mSurface.size() == size())
        return mSurface;
    if (mSurface.isNull() && mPicture.size() == size())
        return mPicture;
    // The box has grown or shrunk since: what was there stays at the top left.
    QImage image = blankSurface();
    QPainter painter(&image);
    painter.drawImage(0, 0, mSurface.isNull() ? mPicture : mSurface);
    return image;
}

QImage PictureBox::blankSurface() const
{
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(mBackColor);
    return image;
}

void PictureBox::applyGeometry()
{
    setGeometry(mGeometry.toPixels());
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    if (mPicture.isNull() && mSurface.isNull())
        return; // the background alone
    QPainter painter(this);
    const QImage shown = mSurface.isNull() ? mPicture : mSurface;
    const QRect area = event->rect() & shown.rect();
    painter.drawImage(area.topLeft(), shown, area);
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
