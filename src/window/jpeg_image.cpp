#include "window/jpeg_image.h"

#include <jpeglib.h>

#include <QFile>
#include <csetjmp>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace velmora::window {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: jump back to the
// decode call, which turns the message into an exception once the decoder is destroyed.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Level -1 marks corrupt data (a cut-off file, for one): a fault, not a picture to show.
void onMessage(j_common_ptr info, int level) {
  if (level < 0)
    onError(info);
}

}  // namespace

QImage decodeJpeg(const QByteArray& bytes) {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = onError;
  errors.base.emit_message = onMessage;
  // Only plain data lives across the jump: the image is made after the last libjpeg call
  // that can fail would have returned, into storage declared before setjmp.
  QImage image;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    throw std::runtime_error(std::string("JPEG: ") + errors.message);
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                 QImage::Format_RGB888);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return image;
}

QImage jpegResource(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw std::runtime_error("Cannot read picture " + path.toStdString());
  return decodeJpeg(file.readAll());
}

}  // namespace velmora::window
