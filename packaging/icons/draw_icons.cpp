// Draws the application icon (a white "V" on a blue rounded square) as PNGs in the hicolor
// sizes. A one-off tool, not part of the build; rerun it only to change the artwork:
//   g++ -std=c++20 -fPIC draw_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o draw_icons
//   QT_QPA_PLATFORM=offscreen ./draw_icons hicolor
// The "V" is a polygon rather than a font glyph, so the pictures do not depend on the fonts
// installed where the tool runs.
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

#include <cstdio>

namespace {

QImage drawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // All coordinates below are on a 256-unit square.
  painter.scale(size / 256.0, size / 256.0);

  QLinearGradient blue(0, 0, 0, 256);
  blue.setColorAt(0, QColor(0x2f, 0x7d, 0xe1));
  blue.setColorAt(1, QColor(0x12, 0x4a, 0x9c));
  QPainterPath square;
  square.addRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
  painter.fillPath(square, blue);

  const QPolygonF letterV(
      {{46, 52}, {94, 52}, {128, 160}, {162, 52}, {210, 52}, {150, 212}, {106, 212}});
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawPolygon(letterV);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_icons OUTPUT_DIR\n");
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    if (!QDir().mkpath(folder) || !drawIcon(size).save(folder + "/velmora.png")) {
      std::fprintf(stderr, "cannot write the %dx%d icon\n", size, size);
      return 1;
    }
  }
  return 0;
}
