// Draws the program's icon in the icon theme's sizes from its one 32-pixel picture.
// Usage: makeicons SOURCE.png OUTPUT-FOLDER NAME SIZE...
// writes OUTPUT-FOLDER/SIZExSIZE/apps/NAME.png for every size.
#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QString>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s SOURCE.png OUTPUT-FOLDER NAME SIZE...\n", argv[0]);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QImage original = QImage(source).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (original.isNull()) {
        std::fprintf(stderr, "makeicons: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 4; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "makeicons: bad size %s\n", argv[i]);
            return 2;
        }
        // Whole multiples keep the drawn grid's lines sharp; other sizes are smoothed.
        const bool whole = size % original.width() == 0;
        const QImage icon = original.scaled(size, size, Qt::IgnoreAspectRatio,
            whole ? Qt::FastTransformation : Qt::SmoothTransformation);
        const QString folder
            = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        QDir().mkpath(folder);
        // No text chunks and no time stamp: the same source gives the same bytes.
        QImageWriter writer(
            folder + QLatin1Char('/') + QString::fromLocal8Bit(argv[3]) + QStringLiteral(".png"),
            "png");
        if (!writer.write(icon.convertToFormat(QImage::Format_ARGB32))) {
            std::fprintf(stderr, "makeicons: %s\n", qPrintable(writer.errorString()));
            return 1;
        }
    }
    return 0;
}
