// Draws the application icon (a white "V" on a blue rounded square, like the window's logo) as PNGs
// in the hicolor sizes. A one-off tool, not part of the build; rerun it only to change the artwork:
//   g++ -std=c++20 -fPIC draw_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o draw_icons
//   QT_QPA_PLATFORM=offscreen ./draw_icons hicolor
// The "V" is a stroked path rather than a font glyph, so the pictures do not depend on the fonts
// installed where the tool runs.
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
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

  // Blue at the top left turning to teal at the bottom right, as in the window's logo.
  QLinearGradient blue(0, 0, 256, 256);
  blue.setColorAt(0, QColor(0x1b, 0x5f, 0xae));
  blue.setColorAt(1, QColor(0x14, 0x93, 0xa0));
  QPainterPath square;
  square.addRoundedRect(QRectF(8, 8, 240, 240), 52, 52);
  painter.fillPath(square, blue);

  QPen stroke(Qt::white, 36, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(stroke);
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(QPolygonF({{70, 76}, {128, 186}, {186, 76}}));
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
