// Renders the program's icon from its SVG drawing in the fixed sizes, at build time.
// Usage: makeicons SOURCE.svg OUTPUT-FOLDER SIZE...   writes OUTPUT-FOLDER/SIZE.png each.
// A size the drawing has its own small version for (the rectangle "size-N", outside the view
// box) is rendered from that version, one unit a pixel; the others from the view box.
#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SOURCE.svg OUTPUT-FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "makeicons: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);
    const QRectF scalable = renderer.viewBoxF();
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "makeicons: bad size %s\n", argv[i]);
            return 2;
        }
        const QString version = QStringLiteral("size-%1").arg(size);
        renderer.setViewBox(
            renderer.elementExists(version) ? renderer.boundsOnElement(version) : scalable);
        QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
        icon.fill(Qt::transparent);
        QPainter painter(&icon);
        renderer.render(&painter);
        painter.end();
        // No text chunks and no time stamp: the same source gives the same bytes.
        QImageWriter writer(QStringLiteral("%1/%2.png").arg(folder).arg(size), "png");
        if (!writer.write(icon.convertToFormat(QImage::Format_ARGB32))) {
            std::fprintf(stderr, "makeicons: %s\n", qPrintable(writer.errorString()));
            return 1;
        }
    }
    return 0;
}
