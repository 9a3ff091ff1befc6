// The eighteen cursors of the image view, drawn once at first use with their hot spots and
// kept under their numbers, as the program's resources would be.
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <map>

#include "velora_view.h"

namespace velora {

namespace {

constexpr int kSize = 32;

struct TCursorPainter {
  QPixmap pixmap{kSize, kSize};
  QPainter p;
  TCursorPainter() {
    pixmap.fill(Qt::transparent);
    p.begin(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
  }
  // A line drawn black with a white rim, so that it shows on any picture.
  void Stroke(const QPainterPath& path, int width = 1) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, width + 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(path);
    p.setPen(QPen(Qt::black, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(path);
  }
  void Line(int x1, int y1, int x2, int y2, int width = 1) {
    QPainterPath path;
    path.moveTo(x1, y1);
    path.lineTo(x2, y2);
    Stroke(path, width);
  }
  void Fill(const QPainterPath& path, QColor fill) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill);
    p.drawPath(path);
  }
  QCursor Done(int hx, int hy) {
    p.end();
    return QCursor(pixmap, hx, hy);
  }
};

// A cross of arms from the centre (cx, cy), leaving a gap around it.
void Cross(TCursorPainter& c, int cx, int cy, int arm, int gap) {
  c.Line(cx - arm, cy, cx - gap, cy);
  c.Line(cx + gap, cy, cx + arm, cy);
  c.Line(cx, cy - arm, cx, cy - gap);
  c.Line(cx, cy + gap, cx, cy + arm);
}

void Badge(TCursorPainter& c, bool plus) {
  c.p.setPen(Qt::black);
  c.p.setBrush(Qt::white);
  c.p.drawRect(21, 21, 9, 9);
  c.p.drawLine(23, 25, 27, 25);
  if (plus) c.p.drawLine(25, 23, 25, 27);
}

QCursor Magnifier(bool plus) {
  TCursorPainter c;
  c.p.setRenderHint(QPainter::Antialiasing, true);
  c.p.setPen(QPen(Qt::black, 2));
  c.p.setBrush(QColor(255, 255, 255, 200));
  c.p.drawEllipse(QPointF(12, 12), 9, 9);
  c.p.setPen(QPen(Qt::black, 4, Qt::SolidLine, Qt::RoundCap));
  c.p.drawLine(19, 19, 28, 28);
  c.p.setPen(QPen(Qt::black, 2));
  c.p.drawLine(8, 12, 16, 12);
  if (plus) c.p.drawLine(12, 8, 12, 16);
  return c.Done(12, 12);
}

QCursor Hand() {
  // An open hand: four fingers, the thumb to the left, the palm below.
  TCursorPainter c;
  c.p.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath hand;
  hand.setFillRule(Qt::WindingFill);  // the fingers overlap the palm
  const int tops[4] = {6, 3, 4, 8};
  for (int i = 0; i < 4; ++i) hand.addRoundedRect(QRectF(9 + 4.5 * i, tops[i], 4.5, 16), 2.2, 2.2);
  hand.addRoundedRect(QRectF(9, 14, 18, 15), 5, 5);
  QPainterPath thumb;
  thumb.moveTo(10, 24);
  thumb.lineTo(3, 15);
  thumb.quadTo(4, 12, 7, 14);
  thumb.lineTo(11, 18);
  thumb.closeSubpath();
  hand = hand.simplified().united(thumb);
  c.Fill(hand, Qt::white);
  c.p.setPen(QPen(Qt::black, 1));
  for (int i = 1; i < 4; ++i) c.p.drawLine(QPointF(9 + 4.5 * i, tops[i] + 6), QPointF(9 + 4.5 * i, 17));
  return c.Done(16, 16);
}

QCursor Pen() {
  TCursorPainter c;
  QPainterPath path;
  path.moveTo(1, 30);
  path.lineTo(4, 22);
  path.lineTo(24, 2);
  path.lineTo(29, 7);
  path.lineTo(9, 27);
  path.closeSubpath();
  c.Fill(path, Qt::white);
  c.p.drawLine(4, 22, 9, 27);
  return c.Done(1, 30);
}

QCursor Eraser() {
  TCursorPainter c;
  QPainterPath path;
  path.moveTo(2, 22);
  path.lineTo(16, 8);
  path.lineTo(26, 18);
  path.lineTo(12, 32 - 1);
  path.closeSubpath();
  c.Fill(path, QColor(255, 200, 200));
  c.p.drawLine(7, 17, 17, 27);
  return c.Done(4, 24);
}

// Arrows at both ends of the line from (x1, y1) to (x2, y2).
QCursor DoubleArrow(int x1, int y1, int x2, int y2) {
  TCursorPainter c;
  c.Line(x1, y1, x2, y2);
  const QLineF l(x1, y1, x2, y2);
  for (int end = 0; end < 2; ++end) {
    QLineF dir = end == 0 ? QLineF(l.p2(), l.p1()) : l;
    QLineF a = dir.unitVector();
    a.setLength(6);
    const QPointF tip = dir.p2(), back = tip - (a.p2() - a.p1());
    const QPointF n(-(a.dy()) * 0.7, a.dx() * 0.7);
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(back + n);
    head.lineTo(back - n);
    head.closeSubpath();
    c.Fill(head, Qt::black);
  }
  return c.Done(16, 16);
}

QCursor MoveAll() {
  TCursorPainter c;
  c.Line(4, 16, 28, 16);
  c.Line(16, 4, 16, 28);
  const QPointF tips[4] = {{16, 2}, {16, 30}, {2, 16}, {30, 16}};
  const QPointF sides[4][2] = {{{12, 7}, {20, 7}}, {{12, 25}, {20, 25}}, {{7, 12}, {7, 20}}, {{25, 12}, {25, 20}}};
  for (int i = 0; i < 4; ++i) {
    QPainterPath head;
    head.moveTo(tips[i]);
    head.lineTo(sides[i][0]);
    head.lineTo(sides[i][1]);
    head.closeSubpath();
    c.Fill(head, Qt::black);
  }
  return c.Done(16, 16);
}

QCursor CrossCursor(int kind, int badge) {
  TCursorPainter c;
  switch (kind) {
    case 0: Cross(c, 16, 16, 14, 0); break;  // CROCE: a plain cross
    case 1: Cross(c, 16, 16, 14, 3); break;  // CROCE1: a cross with an open centre
    case 2:                                  // CROCE2: thin cross with a dot
      Cross(c, 16, 16, 10, 2);
      c.p.setPen(Qt::black);
      c.p.drawPoint(16, 16);
      break;
    case 3:  // CROCE3: cross with a small square at the centre
      Cross(c, 16, 16, 12, 4);
      c.p.setPen(Qt::black);
      c.p.setBrush(Qt::NoBrush);
      c.p.drawRect(14, 14, 4, 4);
      break;
  }
  if (badge) Badge(c, badge > 0);
  return c.Done(16, 16);
}

QCursor Build(int number) {
  switch (number) {
    case crZoomOut: return Magnifier(false);
    case crZoomIn: return Magnifier(true);
    case crCross: return CrossCursor(0, 0);
    case crEraser: return Eraser();
    case crHand: return Hand();
    case crPen: return Pen();
    case crCross1: return CrossCursor(1, 0);
    case crCross3: return CrossCursor(3, 0);
    case crMove2: return DoubleArrow(5, 5, 27, 27);
    case crMoveY: return DoubleArrow(16, 3, 16, 29);
    case crMove1: return DoubleArrow(27, 5, 5, 27);
    case crMoveX: return DoubleArrow(3, 16, 29, 16);
    case crMove: return MoveAll();
    case crCross3Plus: return CrossCursor(3, 1);
    case crCross3Minus: return CrossCursor(3, -1);
    case crCross2: return CrossCursor(2, 0);
    case crCross2Plus: return CrossCursor(2, 1);
    case crCross2Minus: return CrossCursor(2, -1);
  }
  return QCursor(Qt::ArrowCursor);
}

}  // namespace

const char* ViewCursorName(int number) {
  static const char* const names[] = {"ZOOMMENO", "ZOOMPIU", "CROCE",  "GOMMA",   "MANO",    "PENNA",
                                      "CROCE1",   "CROCE3",  "MOVE2",  "MOVEY",   "MOVE1",   "MOVEX",
                                      "MOVE",     "CROCE3+", "CROCE3-", "CROCE2", "CROCE2+", "CROCE2-"};
  if (number < crZoomOut || number > crCross2Minus) return "";
  return names[number - crZoomOut];
}

QCursor ViewCursor(int number) {
  static std::map<int, QCursor> cursors;
  auto it = cursors.find(number);
  if (it == cursors.end()) it = cursors.emplace(number, Build(number)).first;
  return it->second;
}

}  // namespace velora
