// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ToolImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

const QColor Ink(40, 40, 40);
const QColor Paper(255, 255, 240);

QPixmap Blank(int Size = 16) {
  QPixmap pixmap(Size, Size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void Page(QPainter& P) {
  P.setPen(Ink);
  P.setBrush(Paper);
  P.drawRect(2, 1, 9, 13);
  P.drawLine(4, 4, 9, 4);
  P.drawLine(4, 7, 9, 7);
  P.drawLine(4, 10, 8, 10);
}

void ArrowRight(QPainter& P, const QColor& Colour, int Y) {
  P.setPen(Qt::NoPen);
  P.setBrush(Colour);
  QPolygon arrow({QPoint(8, Y - 1), QPoint(11, Y - 1), QPoint(11, Y - 4), QPoint(15, Y),
                  QPoint(11, Y + 4), QPoint(11, Y + 1), QPoint(8, Y + 1)});
  P.drawPolygon(arrow);
}

void Again(QPainter& P, const QColor& Colour) {
  P.setPen(QPen(Colour, 2));
  P.setBrush(Qt::NoBrush);
  P.drawArc(8, 8, 7, 7, 90 * 16, 270 * 16);
  P.setPen(Qt::NoPen);
  P.setBrush(Colour);
  P.drawPolygon(QPolygon({QPoint(10, 6), QPoint(13, 9), QPoint(10, 11)}));
}

QPixmap SendText() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  Page(p);
  ArrowRight(p, QColor(0, 130, 0), 11);
  return pixmap;
}

QPixmap SendTextAgain() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  Page(p);
  Again(p, QColor(0, 130, 0));
  return pixmap;
}

QPixmap TextSettings() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setPen(Ink);
  for (int x : {4, 8, 12}) p.drawLine(x, 2, x, 13);
  p.setBrush(QColor(60, 100, 200));
  p.drawRect(2, 9, 4, 3);
  p.drawRect(6, 3, 4, 3);
  p.drawRect(10, 7, 4, 3);
  return pixmap;
}

QPixmap ResetPulse() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setPen(QPen(QColor(200, 0, 0), 2));
  p.drawPolyline(QPolygon({QPoint(1, 12), QPoint(5, 12), QPoint(5, 4), QPoint(10, 4),
                           QPoint(10, 12), QPoint(15, 12)}));
  return pixmap;
}

QPixmap XModemTransfer() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  ArrowRight(p, QColor(0, 90, 180), 5);
  p.translate(16, 0);
  p.scale(-1, 1);
  ArrowRight(p, QColor(180, 90, 0), 11);
  p.resetTransform();
  p.setPen(Ink);
  p.setBrush(Paper);
  p.drawRect(1, 2, 6, 11);
  return pixmap;
}

void Bits(QPainter& P) {
  P.setPen(Ink);
  QFont font("Monospace");
  font.setPixelSize(7);
  font.setBold(true);
  P.setFont(font);
  P.setBrush(Paper);
  P.drawRect(1, 1, 10, 13);
  P.drawText(QRect(2, 1, 9, 7), Qt::AlignCenter, "01");
  P.drawText(QRect(2, 7, 9, 7), Qt::AlignCenter, "10");
}

QPixmap SendBinary() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  Bits(p);
  ArrowRight(p, QColor(0, 130, 0), 11);
  return pixmap;
}

QPixmap SendBinaryAgain() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  Bits(p);
  Again(p, QColor(0, 130, 0));
  return pixmap;
}

QPixmap Plug(bool Connected) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  int gap = Connected ? 0 : 3;
  p.setPen(Ink);
  p.setBrush(Connected ? QColor(0, 170, 0) : QColor(190, 0, 0));
  p.drawRect(1, 5, 5 - gap / 2, 6);        // cable end
  p.drawRect(10 + gap / 2, 4, 5 - gap / 2, 8);  // socket
  p.drawLine(6 - gap / 2, 6, 10 + gap / 2, 6);
  p.drawLine(6 - gap / 2, 9, 10 + gap / 2, 9);
  return pixmap;
}

}  // namespace

QIcon ToolImage(int Index) {
  switch (Index) {
    case 0: return QIcon(SendText());
    case 1: return QIcon(SendTextAgain());
    case 2: return QIcon(TextSettings());
    case 3: return QIcon(ResetPulse());
    case 22: return QIcon(XModemTransfer());
    case 23: return QIcon(SendBinaryAgain());
    case 24: return QIcon(SendBinary());
    default: return QIcon();
  }
}

QIcon ConnectGlyph() {
  QIcon icon;
  icon.addPixmap(Plug(false), QIcon::Normal, QIcon::Off);
  icon.addPixmap(Plug(true), QIcon::Normal, QIcon::On);
  return icon;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(30, 30, 30), 2));
    p.setBrush(QColor(0, 0, 160));
    p.drawRoundedRect(2, 4, 28, 22, 3, 3);
    p.setPen(QPen(QColor(255, 255, 0), 2));
    p.drawLine(7, 11, 11, 14);
    p.drawLine(11, 14, 7, 17);
    p.drawLine(13, 19, 20, 19);
    p.setPen(QPen(QColor(30, 30, 30), 2));
    p.drawLine(12, 29, 20, 29);
    icon.addPixmap(pixmap);
  }
  return icon;
}
