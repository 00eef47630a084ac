#pragma once
// A small PNG file of one colour, made by Qt, for tests that need a real picture.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

#include <string>

inline std::string PngOfColour(const QColor& color, int width = 8, int height = 8) {
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}
