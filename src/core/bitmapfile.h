#pragma once

#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <memory>

// Uncompressed BMP files read in place: the file is mapped and its rows are read where they
// lie, so that the picture of a long sheet (hundreds of megabytes) is never decoded whole and
// takes memory only for the rows being looked at.

namespace tessivane {

/// Bytes from one pixel row of a 24-bit BMP to the next (rows are padded to four bytes).
qsizetype bitmapStride(int width);

/// The 54-byte header of an uncompressed 24-bit BMP stored top-down (the first row in the
/// file is the top row), followed by height rows of bitmapStride(width) bytes.
QByteArray bitmapHeader(int width, int height);

/// A picture to show whose rows either lie in memory or are read in place from an
/// uncompressed 24- or 32-bit BMP stored top-down, mapped for it: nothing of a mapped file is
/// read until a row is looked at, and the file may be deleted meanwhile. The pixels are
/// read-only: a change makes a copy. Copies share the picture; the mapping ends with the last
/// copy and the last image taken from one.
class PagedPicture
{
public:
    PagedPicture() = default;
    /// A picture in memory: it has nothing to hand back.
    PagedPicture(QImage image); // implicit: wherever a picture is shown, an image will do

    /// The picture of the BMP file, mapped in place; a null picture when the file is not such
    /// a BMP or cannot be mapped.
    static PagedPicture mapBitmapFile(const QString& path);

    const QImage& image() const { return mImage; }
    bool isNull() const { return mImage.isNull(); }
    /// Whether the rows are read in place from a mapped file.
    bool isMapped() const { return mMapping != nullptr; }

    /// Gives the memory that rows first..last hold back to the system; they are read from the
    /// file again when next looked at. Nothing for a picture in memory.
    void releaseRows(int first, int last) const;

private:
    class Mapping;
    PagedPicture(QImage image, std::shared_ptr<const Mapping> mapping);

    QImage mImage;
    std::shared_ptr<const Mapping> mMapping;
};

/// Reads a picture of any form whole, the image reader's allocation limit raised to the
/// picture's own size for the read (a long sheet's picture passes Qt's default of 128 MB).
QImage readWholePicture(QImageReader& reader);

} // namespace tessivane
