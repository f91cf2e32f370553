// icon-render: draws an SVG picture as square PNG files of the sizes given, for the icon theme
// (icon-render logo.svg OUTFOLDER 16 22 32 ... writes OUTFOLDER/16x16.png ...).

#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QString>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: icon-render SVG FOLDER SIZE...\n");
        return 2;
    }
    const QString svg = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLatin1(argv[i]).toInt(&ok);
        if (!ok || size <= 0 || size > 1024) {
            std::fprintf(stderr, "icon-render: bad size %s\n", argv[i]);
            return 2;
        }
        QImageReader reader(svg);
        reader.setScaledSize(QSize(size, size));
        QImage image = reader.read();
        if (image.isNull()) {
            std::fprintf(stderr, "icon-render: %s: %s\n", argv[1], qPrintable(reader.errorString()));
            return 1;
        }
        image = image.convertToFormat(QImage::Format_ARGB32);
        const QString out = QStringLiteral("%1/%2x%2.png").arg(folder).arg(size);
        if (!image.save(out, "PNG")) {
            std::fprintf(stderr, "icon-render: cannot write %s\n", qPrintable(out));
            return 1;
        }
    }
    return 0;
}
