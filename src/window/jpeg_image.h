#pragma once

#include <QByteArray>
#include <QImage>

namespace velmora::window {

// Decodes JPEG bytes with libjpeg into an RGB image. Throws std::runtime_error carrying the
// decoder's message when the bytes are not a readable JPEG.
QImage decodeJpeg(const QByteArray& bytes);

// A JPEG compiled into the program as a Qt resource (":/logos/..."), decoded. Throws
// std::runtime_error when the resource is missing or unreadable.
QImage jpegResource(const QString& path);

}  // namespace velmora::window
