#pragma once

// Pictures for the thumbnail tests: written the way cameras and other programs write them.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>

namespace nimbra::test {

// A picture whose left half is red and right half blue, so a turn can be seen.
inline QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, width / 2, height, Qt::red);
    p.fillRect(width / 2, 0, width - width / 2, height, Qt::blue);
    return image;
}

inline bool writePicture(const QString& path, const QImage& image, const char* format)
{
    return image.save(path, format, 90);
}

// A JPEG whose pixels are stored sideways with an EXIF orientation tag saying how to turn them
// upright (6: turn 90° clockwise), as a phone held upright writes it.
inline bool writeJpegWithOrientation(const QString& path, const QImage& stored, quint16 orientation)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!stored.save(&buffer, "jpg", 90) || !jpeg.startsWith("\xFF\xD8"))
        return false;
    // APP1 "Exif": a big-endian TIFF header and one IFD entry, Orientation (0x0112), SHORT.
    QByteArray tiff("MM\x00\x2A\x00\x00\x00\x08", 8);
    tiff += QByteArray("\x00\x01", 2);
    tiff += QByteArray("\x01\x12\x00\x03\x00\x00\x00\x01", 8);
    tiff += char(orientation >> 8);
    tiff += char(orientation & 0xFF);
    tiff += QByteArray("\x00\x00", 2);
    tiff += QByteArray("\x00\x00\x00\x00", 4);
    QByteArray app1 = QByteArray("Exif\x00\x00", 6) + tiff;
    const int length = int(app1.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    segment += app1;
    jpeg.insert(2, segment);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size();
}

// The dominant colour near a point, as a name: "red", "blue" or "other".
inline QString colourAt(const QImage& image, double fx, double fy)
{
    const QColor c = image.pixelColor(int(fx * (image.width() - 1)), int(fy * (image.height() - 1)));
    if (c.red() > 180 && c.blue() < 90 && c.green() < 90)
        return QStringLiteral("red");
    if (c.blue() > 180 && c.red() < 90 && c.green() < 90)
        return QStringLiteral("blue");
    return QStringLiteral("other");
}

} // namespace nimbra::test
