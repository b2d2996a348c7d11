#include "gui/tray_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "recording/tray_icon_file.h"

namespace larkspan::gui {
namespace {

using recording::TrayIconFile;

// A disc in the state's colour: idle shows radio waves, recording a record
// dot, reconnecting a broken ring. The colours alone tell the states apart
// at the smallest sizes.
QPixmap Draw(std::string_view fileName, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  const QRectF disc(s * 0.04, s * 0.04, s * 0.92, s * 0.92);

  QColor fill("#3b6ea8");
  if (fileName == TrayIconFile::kRecording) fill = QColor("#d62c2c");
  if (fileName == TrayIconFile::kReconnecting) fill = QColor("#e6a100");
  p.setPen(QPen(fill.darker(140), std::max(1.0, s / 24)));
  p.setBrush(fill);
  p.drawEllipse(disc);

  const QPointF centre = disc.center();
  p.setBrush(Qt::white);
  p.setPen(Qt::NoPen);
  if (fileName == TrayIconFile::kRecording) {
    p.drawEllipse(centre, s * 0.2, s * 0.2);
  } else if (fileName == TrayIconFile::kReconnecting) {
    QPen ring(Qt::white, s * 0.11, Qt::SolidLine, Qt::FlatCap);
    p.setPen(ring);
    p.setBrush(Qt::NoBrush);
    const QRectF arc(centre.x() - s * 0.24, centre.y() - s * 0.24, s * 0.48, s * 0.48);
    p.drawArc(arc, 100 * 16, 250 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    QPainterPath head;
    const QPointF tip(centre.x() + s * 0.04, centre.y() - s * 0.24);
    head.moveTo(tip + QPointF(s * 0.14, 0));
    head.lineTo(tip + QPointF(-s * 0.04, -s * 0.15));
    head.lineTo(tip + QPointF(-s * 0.04, s * 0.15));
    head.closeSubpath();
    p.drawPath(head);
  } else {
    p.drawEllipse(centre + QPointF(-s * 0.18, s * 0.14), s * 0.09, s * 0.09);
    QPen wave(Qt::white, s * 0.09, Qt::SolidLine, Qt::RoundCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    for (const qreal r : {0.26, 0.44}) {
      const QPointF origin = centre + QPointF(-s * 0.18, s * 0.14);
      p.drawArc(QRectF(origin.x() - s * r, origin.y() - s * r, 2 * s * r, 2 * s * r), 0, 90 * 16);
    }
  }
  return pixmap;
}

}  // namespace

QIcon BuiltInTrayImage(std::string_view fileName) {
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) icon.addPixmap(Draw(fileName, size));
  return icon;
}

QIcon TrayImage(const std::filesystem::path& directory, std::string_view fileName) {
  const QIcon fromFile(QString::fromStdString((directory / std::string(fileName)).string()));
  // A missing file still gives a non-null icon, but one without sizes.
  if (!fromFile.availableSizes().isEmpty()) return fromFile;
  return BuiltInTrayImage(fileName);
}

}  // namespace larkspan::gui
