#pragma once

#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QString>

// Uncompressed BMP files read in place: the file is mapped and its rows are read where they
// lie, so that the picture of a long sheet (hundreds of megabytes) is never decoded whole and
// takes memory only for the rows being looked at.

namespace tessivane {

/// Bytes from one pixel row of a 24-bit BMP to the next (rows are padded to four bytes).
qsizetype bitmapStride(int width);

/// The 54-byte header of an uncompressed 24-bit BMP stored top-down (the first row in the
/// file is the top row), followed by height rows of bitmapStride(width) bytes.
QByteArray bitmapHeader(int width, int height);

/// The picture of an uncompressed 24- or 32-bit BMP stored top-down, over the mapped file:
/// nothing is read until a row is looked at, and the file may be deleted meanwhile. A null
/// image when the file is not such a BMP or cannot be mapped. The pixels are read-only: a
/// change makes a copy.
QImage mapBitmapFile(const QString& path);

/// Gives the memory that rows first..last of a picture made by mapBitmapFile (or of a
/// picture over some of its rows) hold back to the system; they are read from the file again
/// when next looked at. Any other picture is left alone.
void releaseMappedRows(const QImage& picture, int first, int last);

/// Whether the picture's pixels lie in a file mapped by mapBitmapFile.
bool isMappedPicture(const QImage& picture);

/// Reads a picture of any form whole, the image reader's allocation limit raised to the
/// picture's own size for the read (a long sheet's picture passes Qt's default of 128 MB).
QImage readWholePicture(QImageReader& reader);

} // namespace tessivane
