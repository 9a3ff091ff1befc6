// The preview dialog's three controls: the HSV colour box, the histogram box and the ruler,
// driven through real mouse events offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <cmath>
#include <limits>

#include "dialogs/histogram_box.h"
#include "proc/color_adjust.h"
#include "dialogs/hsv_box.h"
#include "dialogs/ruler_box.h"
#include "view/qt/velora_view.h"

using namespace velora;

namespace {

template <class W>
void Show(W& w) {
  w.show();
  QApplication::processEvents();
}

bool OnlyColour(const QImage& image, QRgb colour) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF)) return false;
  return true;
}

}  // namespace

// ---- HSV box

TEST(HSVBox, SettersLimitAndStaySilent) {
  THSVBox box;
  int changes = 0;
  box.OnChange = [&](TVLObject*) { ++changes; };
  box.SetHue(400);
  box.SetSat(-5);
  box.SetVal(150);
  EXPECT_EQ(box.Hue(), 359);
  EXPECT_EQ(box.Sat(), 0);
  EXPECT_EQ(box.Val(), 99);
  box.SetColorRGB(255, 0, 0);
  EXPECT_EQ(box.Hue(), 0);
  EXPECT_EQ(box.Sat(), 99);
  EXPECT_EQ(box.Val(), 99);
  EXPECT_EQ(box.Color(), TColor(255));
  EXPECT_EQ(changes, 0);
}

TEST(HSVBox, PickingInTheFieldAndTheHueBar) {
  THSVBox box;  // 105 × 105: field 0..79, gap 80..84, hue bar 85..104
  Show(box);
  int changes = 0;
  box.OnChange = [&](TVLObject*) { ++changes; };
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(79, 0));
  EXPECT_EQ(box.Sat(), 99);
  EXPECT_EQ(box.Val(), 99);
  EXPECT_EQ(changes, 1);
  // A drag from the field leaves it only up to its edge.
  QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(10, 52));
  QMouseEvent move(QEvent::MouseMove, QPointF(300, 500), QPointF(300, 500), Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(&box, &move);
  QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(300, 500));
  EXPECT_EQ(box.Sat(), 99);
  EXPECT_EQ(box.Val(), 0);
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(90, 0));
  EXPECT_EQ(box.Hue(), 359);
  const TRGB colour = HSVToRGB(359, 99, 0);
  EXPECT_EQ(box.Color(), RGBColor(colour.r, colour.g, colour.b));
  // The gap picks nothing and starts no drag.
  const int before = changes;
  QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(82, 50));
  QMouseEvent drag(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(&box, &drag);
  QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(changes, before);
  EXPECT_EQ(box.Hue(), 359);
}

TEST(HSVBox, ABoxWithoutRoomForAScalePicksNothing) {
  struct TCase {
    int width, height, x, y;
  } cases[] = {{26, 60, 0, 10}, {105, 1, 10, 0}, {105, 1, 100, 0}};
  for (const TCase& c : cases) {
    THSVBox box;
    box.resize(c.width, c.height);
    Show(box);
    int changes = 0;
    box.OnChange = [&](TVLObject*) { ++changes; };
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(c.x, c.y));
    EXPECT_EQ(changes, 0) << c.width << " x " << c.height;
    EXPECT_EQ(box.Sat(), 0);
    EXPECT_EQ(box.Hue(), 0);
  }
}

// ---- histogram box

TEST(HistogramBox, WithoutAnImageOnlyTheBackgroundShows) {
  THistogramBox box;
  Show(box);
  box.Update();
  EXPECT_TRUE(OnlyColour(box.Buffer(), qRgb(255, 255, 255)));
  TVeloraProc proc;
  TBitmap empty;
  proc.AttachBitmap(&empty);
  box.SetAttachedVeloraProc(&proc);
  box.Update();
  EXPECT_TRUE(OnlyColour(box.Buffer(), qRgb(255, 255, 255)));
}

TEST(HistogramBox, RedAndGrayDrawTwoSeriesOverAGrayGradient) {
  TBitmap image(64, 16, TPixelFormat::pf24bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) reinterpret_cast<TRGB*>(image.ScanLine(y))[x] = TRGB{0, 0, uint8_t(x * 4)};
  TVeloraProc proc;
  proc.AttachBitmap(&image);
  THistogramBox box;
  box.SetLabels(0);
  box.SetAttachedVeloraProc(&proc);
  box.SetHistogramKind(hkRed | hkGray);
  Show(box);
  box.Update();
  const QImage& b = box.Buffer();
  const int bottom = b.height() - 1;
  EXPECT_EQ(b.pixel(0, bottom) & 0xFFFFFF, 0x000000u);
  const QRgb right = b.pixel(b.width() - 1, bottom);
  EXPECT_EQ(qRed(right), 255);
  EXPECT_EQ(qGreen(right), 255);
  EXPECT_EQ(qBlue(right), 255);
  // Red levels 0, 4, …, 252 have bars of their own; the gray values 0..52 come on top in black.
  int red = 0, black = 0;
  for (int y = 0; y < b.height() - 20; ++y)
    for (int x = 0; x < b.width(); ++x) {
      red += (b.pixel(x, y) & 0xFFFFFF) == 0xFF0000u;
      black += (b.pixel(x, y) & 0xFFFFFF) == 0u;
    }
  EXPECT_GT(red, 0);
  EXPECT_GT(black, 0);
  EXPECT_EQ(box.GraphLeft(), box.x());
}

// ---- ruler

TEST(RulerBox, GripsAreLimitedThroughTheSameOperation) {
  TRulerBox ruler;
  ruler.SetViewMax(255);
  std::vector<double> seen;
  ruler.OnRulerPosChange = [&](TVLObject*, int grip) { seen.push_back(ruler.GetGripPosition(grip)); };
  ruler.SetGripPosition(0, 300);
  EXPECT_EQ(seen, (std::vector<double>{255, 255}));
  ruler.SetGripPosition(0, std::nan(""));
  EXPECT_EQ(ruler.GetGripPosition(0), 0);
  EXPECT_EQ(ruler.GetGripPosition(7), 0);
  ruler.SetGripPosition(7, 3);  // ignored
  // Without a range the grips and the view position are free.
  TRulerBox free;
  free.SetGripPosition(0, -40);
  free.SetViewPos(-1000);
  EXPECT_EQ(free.GetGripPosition(0), -40);
  EXPECT_EQ(free.ViewPos(), -1000);
}

TEST(RulerBox, NoGripsMeansEveryPressIsARulerClick) {
  TRulerBox ruler;
  ruler.SetDotPerUnit(2);
  Show(ruler);
  ruler.SetGripsCount(0);
  std::vector<double> clicks;
  ruler.OnRulerClick = [&](TVLObject*, double ps) { clicks.push_back(ps); };
  EXPECT_EQ(ruler.GripAt(QPoint(0, 35)), -1);
  QTest::mouseClick(&ruler, Qt::LeftButton, {}, QPoint(50, 35));
  EXPECT_EQ(clicks, std::vector<double>{25});
}

TEST(RulerBox, ScalesThatCannotBeDrawnDrawNoTicks) {
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  struct TCase {
    double frequency, dotPerUnit;
  } cases[] = {{0, 1}, {-5, 1}, {nan, 1}, {inf, 1}, {10, 0}, {10, nan}, {10, -1}};
  for (const TCase& c : cases) {
    TRulerBox ruler;
    Show(ruler);
    ruler.SetFrequency(c.frequency);
    ruler.SetDotPerUnit(c.dotPerUnit);
    EXPECT_TRUE(ruler.TickValues(c.frequency).empty()) << c.frequency << " " << c.dotPerUnit;
    ruler.Update();  // draws without them
  }
  // A tiny frequency gives at most a tick per pixel.
  TRulerBox dense;
  Show(dense);
  EXPECT_LE(dense.TickValues(1e-12).size(), size_t(dense.width() + 2));
  EXPECT_EQ(dense.TickValues(10).size(), size_t(300 / 10 + 2));
  // Fitting needs a range of some width; the default 0, 0 keeps the scale.
  dense.SetFitInView(true);
  EXPECT_EQ(dense.DotPerUnit(), 1.0);
  dense.SetViewMax(150);
  dense.Update();
  EXPECT_EQ(dense.DotPerUnit(), 2.0);
  // A far grip stays drawable.
  dense.SetViewMax(0);
  dense.SetGripPosition(0, 1e300);
  EXPECT_FALSE(dense.GripPolygon(0).boundingRect().isEmpty());
}

TEST(RulerBox, Labels) {
  TRulerBox ruler;
  const std::pair<double, const char*> decimal[] = {{32, "32"}, {0.5, "0.5"}, {-16, "-16"}, {1e20, "1e+20"}};
  for (const auto& [v, text] : decimal) EXPECT_EQ(ruler.TickLabel(v).toStdString(), text);
  ruler.SetHexLabels(true);
  const std::pair<double, const char*> hex[] = {
      {255, "FF"}, {-16, "-10"}, {0, "0"}, {-0.5, "0"}, {1e30, "FFFFFFFFFFFFFFFF"}, {4294967296.0, "100000000"}};
  for (const auto& [v, text] : hex) EXPECT_EQ(ruler.TickLabel(v).toStdString(), text) << v;
}

TEST(RulerBox, DraggingAGripClickingAndDoubleClicking) {
  TRulerBox ruler;
  ruler.SetViewMax(255);
  ruler.SetDotPerUnit(1);
  ruler.SetGripsCount(2);
  ruler.SetGripPosition(1, 100);
  Show(ruler);
  std::vector<int> clicks, doubles;
  ruler.OnRulerGripClick = [&](TVLObject*, int g) { clicks.push_back(g); };
  ruler.OnRulerGripDblClick = [&](TVLObject*, int g) { doubles.push_back(g); };
  const int y = ruler.height() - 3;  // near the grips' base
  QTest::mousePress(&ruler, Qt::LeftButton, {}, QPoint(101, y));
  QTest::mouseMove(&ruler, QPoint(151, y));
  QMouseEvent move(QEvent::MouseMove, QPointF(151, y), QPointF(151, y), Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(&ruler, &move);
  QTest::mouseRelease(&ruler, Qt::LeftButton, {}, QPoint(151, y));
  EXPECT_EQ(ruler.GetGripPosition(1), 150);
  EXPECT_TRUE(clicks.empty());
  QTest::mouseClick(&ruler, Qt::LeftButton, {}, QPoint(150, y));
  EXPECT_EQ(clicks, std::vector<int>{1});
  QTest::mouseDClick(&ruler, Qt::LeftButton, {}, QPoint(150, y));
  EXPECT_EQ(doubles, std::vector<int>{1});
}

TEST(RulerBox, DraggingPastTheLeftEndScrollsUntilTheRelease) {
  TRulerBox ruler;
  ruler.SetViewMin(-100);
  ruler.SetViewMax(500);
  ruler.SetViewPos(0);
  Show(ruler);
  ruler.SetGripPosition(0, 10);
  const int y = ruler.height() - 3;
  QTest::mousePress(&ruler, Qt::LeftButton, {}, QPoint(10, y));
  QMouseEvent out(QEvent::MouseMove, QPointF(-20, y), QPointF(-20, y), Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(&ruler, &out);  // the first step is taken at once
  EXPECT_LT(ruler.ViewPos(), 0);
  QTest::qWait(60);
  EXPECT_LT(ruler.GetGripPosition(0), 0);
  EXPECT_GE(ruler.ViewPos(), -100);
  QTest::mouseRelease(&ruler, Qt::LeftButton, {}, QPoint(-20, y));
  const double stopped = ruler.ViewPos();
  QTest::qWait(60);
  EXPECT_EQ(ruler.ViewPos(), stopped);
}
