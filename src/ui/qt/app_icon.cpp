#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include "ui/qt/main_window.h"

namespace rankora::ui::qt {

QIcon MakeAppIcon() {
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);

  QPainterPath tile;
  tile.addRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
  QLinearGradient background(0, 0, 0, 32);
  background.setColorAt(0, QColor(0x2f, 0x80, 0xed));
  background.setColorAt(1, QColor(0x1a, 0x4f, 0xa8));
  painter.fillPath(tile, background);

  // Three rising bars: a ranking.
  const QColor bar(0xff, 0xff, 0xff);
  painter.fillRect(QRectF(7, 18, 5, 8), bar);
  painter.fillRect(QRectF(14, 13, 5, 13), bar);
  painter.fillRect(QRectF(21, 7, 5, 19), QColor(0xff, 0xd1, 0x4a));
  painter.end();
  return QIcon(QPixmap::fromImage(image));
}

}  // namespace rankora::ui::qt
