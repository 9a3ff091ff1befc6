// The single-image view driven through real Qt events, checked on what it paints.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <cstring>
#include <memory>
#include <random>

#include "view/qt/velora_view.h"
#include "view/qt/vl_draw.h"

using namespace velora;

namespace {

constexpr TColor kBackground = 0x00402010;  // r 0x10, g 0x20, b 0x40

// A shown, borderless view with a client of w × h.
std::unique_ptr<TVeloraView> MakeView(int w, int h) {
  auto v = std::make_unique<TVeloraView>();
  v->SetBorderStyle(bsNone);
  v->SetBackground(kBackground);
  v->resize(w, h);
  v->show();
  QApplication::processEvents();
  return v;
}

// Each pixel's colour encodes its position: r = x mod 256, g = x div 256, b = y mod 256.
void FillCoded(TBitmap& b, int w, int h) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(y), p[1] = uint8_t(x >> 8), p[2] = uint8_t(x);
    }
}

QRgb Coded(int x, int y) { return qRgb(x & 255, x >> 8, y & 255); }
QRgb BackgroundRgb() { return qRgb(0x10, 0x20, 0x40); }

QImage Grab(TVeloraView& v) { return v.grab().toImage().convertToFormat(QImage::Format_RGB32); }

void Click(TVeloraView& v, Qt::MouseButton b, QPoint p) { QTest::mouseClick(&v, b, Qt::NoModifier, p); }

void Wheel(TVeloraView& v, int delta) {
  QPointF pos(v.width() / 2.0, v.height() / 2.0);
  QWheelEvent e(pos, v.mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                false);
  QApplication::sendEvent(&v, &e);
}

bool MaskFillAvailable() {
  TVLMask m;
  m.Allocate(4, 4, 1);
  const TPoint square[4] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  m.FillPolygons(1, square, 4);
  return !m.IsEmpty();
}

// True when the resampler produces in-between values (the real one, not the nearest stand-in).
bool FilterAvailable() {
  TBitmap s(2, 1, TPixelFormat::pf24bit), d(7, 1, TPixelFormat::pf24bit);
  std::fill_n(s.ScanLine(0) + 3, 3, uint8_t(255));
  ResampleBitmap(s, d, rfLanczos3);
  for (int x = 0; x < 7; ++x)
    if (d.ScanLine(0)[3 * x] != 0 && d.ScanLine(0)[3 * x] != 255) return true;
  return false;
}

bool HasInBetweenGreys(const QImage& img) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const int g = qGreen(img.pixel(x, y));
      if (g > 10 && g < 245) return true;
    }
  return false;
}

}  // namespace

// ------------------------------------------------------------------------- base view contract

TEST(VeloraViewBase, ListenersHearChangesAndDestructionInOrder) {
  std::vector<std::string> calls;
  auto v = std::make_unique<TVeloraView>();
  int a = v->AddChangeListener([&](bool d) { calls.push_back(std::string("a") + (d ? "+" : "-")); });
  v->AddChangeListener([&](bool d) { calls.push_back(std::string("b") + (d ? "+" : "-")); });
  v->RemoveChangeListener(12345);  // never added: nothing changes
  EXPECT_EQ(v->ChangeListenerCount(), 2);
  v->NotifyChangeListeners();
  EXPECT_EQ(calls, (std::vector<std::string>{"a-", "b-"}));
  v->RemoveChangeListener(a);
  v->AddChangeListener([&](bool d) { calls.push_back(std::string("c") + (d ? "+" : "-")); });
  calls.clear();
  v.reset();
  EXPECT_EQ(calls, (std::vector<std::string>{"b+", "c+"}));
}

TEST(VeloraViewBase, DpiBorderAndIOAttachment) {
  auto v = MakeView(100, 100);
  v->SetDpi(72, 72);
  v->SetDpi(0, 150);
  EXPECT_EQ(v->DpiX(), 72);
  EXPECT_EQ(v->DpiY(), 150);

  const int rebuilds = v->FrameRebuilds();
  v->SetBorderStyle(bsNone);
  EXPECT_EQ(v->FrameRebuilds(), rebuilds);
  v->SetBorderStyle(bsSingle);
  EXPECT_EQ(v->FrameRebuilds(), rebuilds + 1);
  EXPECT_LT(v->ExtentX(), 100);  // the sunken edge takes its share

  TVeloraIO& io = v->GetIO();
  EXPECT_EQ(&io, &v->GetIO());
  EXPECT_EQ(io.AttachedVelora(), v.get());
  EXPECT_EQ(io.GetTarget(), v->GetBitmap());
  EXPECT_EQ(io.GetAlphaMask(), v->GetAlphaMask());
  EXPECT_EQ(v->ChangeListenerCount(), 1);
  int imageChanges = 0;
  v->OnImageChange = [&](TVLObject*) { ++imageChanges; };
  io.SetBackground(clRed);  // the component's background is the view's
  EXPECT_EQ(v->Background(), clRed);
  EXPECT_EQ(imageChanges, 1);
}

// ------------------------------------------------------------------------- geometry

TEST(VeloraViewGeometry, FitCentresTheWideImage) {
  auto v = MakeView(500, 500);
  v->SetCenter(true);
  v->Bitmap().Reset(1000, 500, TPixelFormat::pf24bit);
  FillCoded(v->Bitmap(), 1000, 500);
  v->Update();
  v->Fit();
  EXPECT_DOUBLE_EQ(v->Zoom(), 50);
  EXPECT_EQ(v->CenterOffsetY(), 125);
  EXPECT_EQ(v->CenterOffsetX(), 0);
  const QImage img = Grab(*v);
  EXPECT_EQ(img.pixel(250, 124), BackgroundRgb());
  EXPECT_EQ(img.pixel(250, 375), BackgroundRgb());
  EXPECT_EQ(img.pixel(0, 125), Coded(0, 0));
  EXPECT_EQ(img.pixel(499, 374), Coded(998, 498));
}

TEST(VeloraViewGeometry, OriginsAreLimitedAtBothEnds) {
  auto v = MakeView(500, 500);
  FillCoded(v->Bitmap(), 1000, 500);
  v->Update();
  v->SetZoom(200);
  int maxX, maxY;
  v->GetMaxViewOrigin(maxX, maxY);
  EXPECT_EQ(maxX, 1500);
  EXPECT_EQ(maxY, 500);
  v->SetViewOrigin(0, 0);
  std::vector<int> changes;
  v->OnViewChange = [&](TVLObject*, int c) { changes.push_back(c); };
  v->SetViewOriginX(99999);
  EXPECT_EQ(v->ViewOriginX(), 1500);
  v->SetViewOriginY(-7);
  EXPECT_EQ(v->ViewOriginY(), 0);
  v->SetViewOrigin(-1, 99999);
  EXPECT_EQ(v->ViewOriginX(), 0);
  EXPECT_EQ(v->ViewOriginY(), 500);
  EXPECT_EQ(changes, (std::vector<int>{0, 0}));  // the Y = −7 request changed nothing
  // What is painted is the bitmap at the origin.
  EXPECT_EQ(Grab(*v).pixel(0, 0), Coded(0, 250));
  changes.clear();
  v->SetZoom(200);  // the zoom in force: nothing happens
  EXPECT_TRUE(changes.empty());
}

TEST(VeloraViewGeometry, PartlyVisibleLastColumnIsDrawnAt300) {
  auto v = MakeView(502, 60);
  FillCoded(v->Bitmap(), 200, 20);
  v->Update();
  v->SetZoom(300);
  v->SetViewOrigin(0, 0);
  // 167 source columns give 501 pixels; one more column is drawn and clipped.
  EXPECT_EQ(v->SourceRect().Width(), 168);
  EXPECT_EQ(v->DrawWidth(), 504);
  const QImage img = Grab(*v);
  const QRgb last = img.pixel(501, 0);
  EXPECT_NE(last, BackgroundRgb());
  EXPECT_GE(qRed(last), 166);
  EXPECT_EQ(img.pixel(0, 0), Coded(0, 0));
  // 14-bit steps of trunc(168 / 504 × 16384): pixel 3 still falls in column 0, pixel 4 in 1.
  EXPECT_EQ(img.pixel(3, 3), Coded(0, 0));
  EXPECT_EQ(img.pixel(4, 4), Coded(1, 1));
}

TEST(VeloraViewGeometry, AutoFitNeverGoesBelowOnePercent) {
  auto v = MakeView(50, 50);
  v->AutoFit = true;
  FillCoded(v->Bitmap(), 10000, 10);
  v->Update();
  EXPECT_DOUBLE_EQ(v->Zoom(), 1);
  FillCoded(v->Bitmap(), 100, 25);
  v->Update();
  EXPECT_DOUBLE_EQ(v->Zoom(), 50);
}

TEST(VeloraViewGeometry, CoordinatesRoundTrip) {
  auto v = MakeView(300, 300);
  v->SetCenter(true);
  FillCoded(v->Bitmap(), 100, 100);
  v->Update();
  v->SetZoom(200);
  EXPECT_EQ(v->CenterOffsetX(), 50);
  for (int bx : {0, 1, 37, 99}) EXPECT_EQ(v->ClientToBitmapX(v->BitmapToClientX(bx)), bx);
  EXPECT_EQ(v->ClientToBitmapX(50), 0);
  EXPECT_EQ(v->ClientToBitmapX(51), 0);
  EXPECT_EQ(v->ClientToBitmapX(52), 1);
}

TEST(VeloraViewGeometry, ScrollBarsScaleTo65536) {
  auto v = MakeView(300, 300);
  FillCoded(v->Bitmap(), 1000, 200);
  v->SetScrollBars(ssBoth);
  v->Update();
  QScrollBar* h = v->HorzScrollBar();
  EXPECT_FALSE(h->isHidden());
  EXPECT_TRUE(v->VertScrollBar()->isHidden());  // 200 rows fit
  int maxX, maxY;
  v->GetMaxViewOrigin(maxX, maxY);
  EXPECT_EQ(maxX, 1000 - 300);
  EXPECT_EQ(v->ExtentY(), 300 - h->height());
  EXPECT_DOUBLE_EQ(v->HorzScrollScale(), 1000 / 65536.0);
  h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(v->ViewOriginX(), 1);
  h->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(v->ViewOriginX(), 301);
  h->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(v->ViewOriginX(), 700);
  EXPECT_EQ(h->value(), int(700 / v->HorzScrollScale()));
  v->HorzScrollBarParams().StepPerLine = 5;
  h->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(v->ViewOriginX(), 695);
}

// ------------------------------------------------------------------------- painting

TEST(VeloraViewPaint, BackgroundStyles) {
  auto v = MakeView(64, 64);
  v->SetCenter(true);
  FillCoded(v->Bitmap(), 8, 8);
  v->Update();
  const QRgb bg = BackgroundRgb(), inv = qRgb(0xEF, 0xDF, 0xBF);
  v->SetBackgroundStyle(vlbsChessboard);
  QImage img = Grab(*v);
  EXPECT_EQ(img.pixel(0, 0), inv);
  EXPECT_EQ(img.pixel(16, 0), bg);
  EXPECT_EQ(img.pixel(0, 16), bg);
  EXPECT_EQ(img.pixel(17, 17), inv);
  EXPECT_EQ(img.pixel(28, 28), Coded(0, 0));  // the image at (28, 28)

  v->SetBackgroundStyle(vlbsCropShadow);
  img = Grab(*v);
  // Vertical strip right of the image (right = 36), from top + 6 on; horizontal below it.
  const int levels[6] = {93, 110, 130, 154, 182, 215};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(img.pixel(36 + k, 34), qRgb(levels[k], levels[k], levels[k])) << k;
    EXPECT_EQ(img.pixel(34, 36 + k), qRgb(levels[k], levels[k], levels[k])) << k;
  }
  EXPECT_NE(qRed(img.pixel(36, 33)), 93);  // the strip starts at top + 6

  // Hatches: the lines in the background colour every 8 pixels, the gaps in its complement.
  v->SetBackgroundStyle(vlbsHorizontal);
  img = Grab(*v);
  EXPECT_EQ(img.pixel(3, 0), bg);
  EXPECT_EQ(img.pixel(3, 1), inv);
  EXPECT_EQ(img.pixel(3, 8), bg);
  v->SetBackgroundStyle(vlbsFDiagonal);
  img = Grab(*v);
  EXPECT_EQ(img.pixel(2, 2), bg);
  EXPECT_EQ(img.pixel(3, 2), inv);
  EXPECT_EQ(img.pixel(10, 2), bg);

  v->SetBackgroundStyle(vlbsDiagonals);
  img = Grab(*v);
  EXPECT_EQ(img.pixel(5, 5), inv);
  EXPECT_EQ(img.pixel(6, 5), bg);
  EXPECT_EQ(img.pixel(63, 1), inv);  // (64, 0) lies outside
}

TEST(VeloraViewPaint, AlphaChannelBlendsOverTheBackground) {
  auto v = MakeView(40, 40);
  v->SetBackground(clBlack);
  v->Bitmap().Reset(2, 2, TPixelFormat::pf24bit);
  for (int y = 0; y < 2; ++y) std::fill_n(v->Bitmap().ScanLine(y), 6, uint8_t(200));
  v->Update();
  v->AlphaMask().SetPixel(0, 0, 128);
  v->SetEnableAlphaChannel(true);
  QImage img = Grab(*v);
  EXPECT_EQ(img.pixel(0, 0), qRgb(100, 100, 100));  // 0 + (200 × 128) >> 8
  EXPECT_EQ(img.pixel(1, 0), qRgb(199, 199, 199));  // opaque: (200 × 255) >> 8
  v->SetEnableAlphaChannel(false);
  EXPECT_EQ(Grab(*v).pixel(0, 0), qRgb(200, 200, 200));
}

TEST(VeloraViewPaint, OneBitImagesAreBlackAndWhite) {
  auto v = MakeView(40, 40);
  v->Bitmap().Reset(8, 1, TPixelFormat::pf1bit);
  v->Bitmap().ScanLine(0)[0] = 0xA0;  // 1 0 1 0 0 ...
  v->Update();
  v->SetZoom(200);
  const QImage img = Grab(*v);
  EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(1, 1), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(2, 0), qRgb(0, 0, 0));
  EXPECT_EQ(img.pixel(4, 0), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(0, 2), BackgroundRgb());
}

TEST(VeloraViewPaint, NarrowImageIsDrawnWithoutTheFilter) {
  auto v = MakeView(60, 300);
  v->DelayZoomFilter = false;
  v->Bitmap().Reset(3, 100, TPixelFormat::pf24bit);
  for (int y = 0; y < 100; ++y) {
    uint8_t* r = v->Bitmap().ScanLine(y);
    r[2] = 255, r[4] = 255, r[6] = 255;  // red, green, blue
  }
  v->Update();
  v->SetZoomFilter(rfLanczos3);
  v->SetZoom(200);
  const QImage img = Grab(*v);
  const QRgb expected[6] = {qRgb(255, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0),
                            qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 255)};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(img.pixel(x, 50), expected[x]) << x;
}

TEST(VeloraViewPaint, FilterFollowsOnlyAfterTheDelay) {
  auto v = MakeView(200, 200);
  // A one-pixel checkerboard: only a filter makes greys of it.
  TBitmap& b = v->Bitmap();
  b.Reset(400, 400, TPixelFormat::pf24bit);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 400; ++x) std::fill_n(b.ScanLine(y) + 3 * x, 3, uint8_t((x + y) & 1 ? 255 : 0));
  v->Update();
  v->SetZoom(250);
  v->SetZoomFilter(rfLanczos3);
  v->SetViewOriginX(20);  // scrolling paints at once, unfiltered
  EXPECT_EQ(v->FilterDelayTicks(), 2);
  EXPECT_FALSE(HasInBetweenGreys(Grab(*v)));
  QTest::qWait(250);
  EXPECT_EQ(v->FilterDelayTicks(), 1);
  EXPECT_FALSE(HasInBetweenGreys(Grab(*v)));
  QTest::qWait(250);
  EXPECT_EQ(v->FilterDelayTicks(), 0);
  if (!FilterAvailable()) GTEST_SKIP() << "the resampler is still the nearest-pixel stand-in";
  EXPECT_TRUE(HasInBetweenGreys(Grab(*v)));
  // Without the delay the filter is used straight away.
  v->DelayZoomFilter = false;
  v->SetViewOriginX(40);
  EXPECT_EQ(v->FilterDelayTicks(), 0);
  EXPECT_TRUE(HasInBetweenGreys(Grab(*v)));
}

// ------------------------------------------------------------------------- wheel and mouse

TEST(VeloraViewMouse, OneWheelStepPerMessage) {
  auto v = MakeView(200, 200);
  FillCoded(v->Bitmap(), 400, 400);
  v->Update();
  Wheel(*v, 240);  // away from the user: zoom out by 8 %
  EXPECT_DOUBLE_EQ(v->Zoom(), 92);
  Wheel(*v, -120);
  EXPECT_DOUBLE_EQ(v->Zoom(), 99);  // 92 + round(7.36)
  v->MouseWheelParams().WheelAction = vlwaScroll;
  const int y = v->ViewOriginY();
  Wheel(*v, -120);
  EXPECT_EQ(v->ViewOriginY(), y + 16);  // 8 % of the 200-pixel extent
  EXPECT_DOUBLE_EQ(v->Zoom(), 99);
}

TEST(VeloraViewMouse, ClickZoomWalksTheStepTable) {
  auto v = MakeView(400, 400);
  v->SetCenter(true);
  FillCoded(v->Bitmap(), 2000, 2000);
  v->Update();
  v->SetMouseInteract(MouseInteractSet({miZoom, miScroll}));
  const QPoint centre(200, 200);
  const std::vector<double> in = {200, 300};
  for (double z : in) {
    Click(*v, Qt::LeftButton, centre);
    EXPECT_DOUBLE_EQ(v->Zoom(), z);
  }
  const std::vector<double> out = {200, 100, 75, 50, 33, 25, 10, 5, 2, 2};
  for (double z : out) {
    Click(*v, Qt::RightButton, centre);
    EXPECT_DOUBLE_EQ(v->Zoom(), z);
  }
  const std::vector<double> back = {5, 10, 25, 33, 50, 75, 100, 200};
  for (double z : back) {
    Click(*v, Qt::LeftButton, centre);
    EXPECT_DOUBLE_EQ(v->Zoom(), z);
  }
  // Between table values.
  struct Case {
    double from;
    Qt::MouseButton button;
    double to;
  };
  for (Case c : {Case{40, Qt::LeftButton, 50}, Case{40, Qt::RightButton, 33}, Case{150, Qt::LeftButton, 250},
                 Case{150, Qt::RightButton, 100}}) {
    v->SetZoom(c.from);
    Click(*v, c.button, centre);
    EXPECT_DOUBLE_EQ(v->Zoom(), c.to) << c.from;
  }
}

TEST(VeloraViewMouse, ClickZoomCentresTheClickedPixel) {
  auto v = MakeView(400, 400);
  FillCoded(v->Bitmap(), 2000, 2000);
  v->Update();
  v->SetMouseInteract(MouseInteractSet({miZoom}));
  Click(*v, Qt::LeftButton, QPoint(300, 100));
  EXPECT_DOUBLE_EQ(v->Zoom(), 200);
  EXPECT_EQ(v->ClientToBitmapX(200), 300);
  EXPECT_EQ(v->ClientToBitmapY(200), 100);
}

TEST(VeloraViewMouse, MarginClicksAndDragsDoNotZoom) {
  auto v = MakeView(400, 400);
  v->SetCenter(true);
  FillCoded(v->Bitmap(), 800, 100);  // drawn at y 150 .. 250
  v->Update();
  v->SetMouseInteract(MouseInteractSet({miZoom, miScroll}));
  Click(*v, Qt::LeftButton, QPoint(200, 20));
  EXPECT_DOUBLE_EQ(v->Zoom(), 100);
  Click(*v, Qt::LeftButton, QPoint(200, 260));
  EXPECT_DOUBLE_EQ(v->Zoom(), 100);
  QTest::mousePress(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
  QTest::mouseMove(v.get(), QPoint(199, 200));
  QTest::mouseMove(v.get(), QPoint(197, 200));
  QTest::mouseRelease(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(197, 200));
  EXPECT_DOUBLE_EQ(v->Zoom(), 100);
  EXPECT_EQ(v->ViewOriginX(), 3);
}

TEST(VeloraViewMouse, DragScrollMovesThePicture) {
  auto v = MakeView(300, 300);
  FillCoded(v->Bitmap(), 1000, 1000);
  v->Update();
  v->SetMouseInteract(MouseInteractSet({miZoom, miScroll}));
  v->SetViewOrigin(100, 100);
  QTest::mousePress(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(150, 150));
  EXPECT_EQ(QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->pixmap().cacheKey()
                                               : 0,
            ViewCursor(crHand).pixmap().cacheKey());
  QTest::mouseMove(v.get(), QPoint(140, 145));
  EXPECT_EQ(v->ViewOriginX(), 110);
  EXPECT_EQ(v->ViewOriginY(), 105);
  QTest::mouseMove(v.get(), QPoint(120, 130));
  QTest::mouseRelease(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(120, 130));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(v->ViewOriginX(), 130);
  EXPECT_EQ(v->ViewOriginY(), 120);
  EXPECT_EQ(Grab(*v).pixel(0, 0), Coded(130, 120));
  EXPECT_EQ(Grab(*v).pixel(299, 299), Coded(429, 419));
}

TEST(VeloraViewMouse, ToolCombinations) {
  struct Case {
    TVLMouseInteract from, set, expected;
  };
  const Case cases[] = {
      {0, MouseInteractSet({miZoom, miScroll}), MouseInteractSet({miZoom, miScroll})},
      {MouseInteractSet({miZoom, miScroll}), MouseInteractSet({miZoom, miScroll, miSelect}),
       MouseInteractSet({miZoom, miSelect})},
      {MouseInteractSet({miZoom}), MouseInteractSet({miZoom, miSelectPolygon}), MouseInteractSet({miSelectPolygon})},
      {MouseInteractSet({miSelectMagicWand}), MouseInteractSet({miSelectMagicWand, miZoom}),
       MouseInteractSet({miZoom})},
      {MouseInteractSet({miZoom}), MouseInteractSet({miZoom, miSelectLasso}), MouseInteractSet({miZoom, miSelectLasso})},
      {MouseInteractSet({miScroll}), MouseInteractSet({miScroll}), MouseInteractSet({miScroll})},
  };
  for (const Case& c : cases) {
    TVeloraView v;
    v.SetMouseInteract(c.from);
    v.SetMouseInteract(c.set);
    EXPECT_EQ(v.MouseInteract(), c.expected) << c.from << " " << c.set;
  }
}

TEST(VeloraViewMouse, RectangleSelection) {
  if (!MaskFillAvailable()) GTEST_SKIP() << "the mask's polygon fill is still a placeholder";
  auto v = MakeView(200, 200);
  FillCoded(v->Bitmap(), 100, 100);
  v->Update();
  v->SetMouseInteract(MouseInteractSet({miSelect}));
  int changing = 0, changed = 0;
  v->OnSelectionChanging = [&](TVLObject*) { ++changing; };
  v->OnSelectionChange = [&](TVLObject*) { ++changed; };
  QTest::mousePress(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  QTest::mouseMove(v.get(), QPoint(5, 15));
  QTest::mouseMove(v.get(), QPoint(3, 20));
  QTest::mouseRelease(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 20));
  EXPECT_GE(changing, 2);
  EXPECT_EQ(changed, 1);
  ASSERT_TRUE(v->HasSelection());
  ASSERT_EQ(v->SelectionPointCount(), 4);
  const TPoint* p = v->SelectionPoints();
  EXPECT_EQ(p[0], (TPoint{3, 10}));
  EXPECT_EQ(p[1], (TPoint{11, 10}));
  EXPECT_EQ(p[2], (TPoint{11, 21}));
  EXPECT_EQ(p[3], (TPoint{3, 21}));
  int x1, y1, x2, y2;
  v->SelectionRect(x1, y1, x2, y2);
  EXPECT_EQ((TRect{x1, y1, x2, y2}), (TRect{3, 10, 10, 20}));
  TVLMask& m = v->SelectionMask();
  EXPECT_TRUE(m.IsSelected(3, 10));
  EXPECT_TRUE(m.IsSelected(10, 20));
  EXPECT_FALSE(m.IsSelected(11, 10));
  EXPECT_FALSE(m.IsSelected(3, 21));
  // The outline is drawn over the picture.
  const QImage img = Grab(*v);
  EXPECT_NE(img.pixel(3, 15), Coded(3, 15));
  EXPECT_EQ(img.pixel(50, 50), Coded(50, 50));
  // A click outside the selection drops it.
  Click(*v, Qt::LeftButton, QPoint(60, 60));
  EXPECT_FALSE(v->HasSelection());
  EXPECT_EQ(v->SelectionPointCount(), 0);
}

TEST(VeloraViewMouse, GripResizesTheRectangle) {
  if (!MaskFillAvailable()) GTEST_SKIP() << "the mask's polygon fill is still a placeholder";
  auto v = MakeView(200, 200);
  FillCoded(v->Bitmap(), 100, 100);
  v->Update();
  v->SetMouseInteract(MouseInteractSet({miSelect}));
  v->SelectionBase = vlsbBitmap;
  v->AddRectangleSelection(20, 20, 39, 39, false);
  ASSERT_TRUE(v->HasSelection());
  // Drag the bottom-right corner (client 40, 40) to (60, 50).
  QTest::mousePress(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
  QTest::mouseMove(v.get(), QPoint(60, 50));
  QTest::mouseRelease(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 50));
  int x1, y1, x2, y2;
  v->SelectionRect(x1, y1, x2, y2);
  EXPECT_EQ((TRect{x1, y1, x2, y2}), (TRect{20, 20, 60, 50}));
}

TEST(VeloraViewMouse, ShiftSwitchesTheCrossCursor) {
  auto v = MakeView(50, 50);
  EXPECT_EQ(v->Cursor(), crCross3);
  QTest::keyPress(v.get(), Qt::Key_Shift, Qt::ShiftModifier);
  EXPECT_EQ(v->Cursor(), crCross3Plus);
  QTest::keyRelease(v.get(), Qt::Key_Shift, Qt::NoModifier);
  EXPECT_EQ(v->Cursor(), crCross3);
  EXPECT_STREQ(ViewCursorName(crCross3Plus), "CROCE3+");
  EXPECT_FALSE(ViewCursor(crHand).pixmap().isNull());
}

TEST(VeloraViewMouse, PolygonClosesOnDoubleClick) {
  if (!MaskFillAvailable()) GTEST_SKIP() << "the mask's polygon fill is still a placeholder";
  auto v = MakeView(200, 200);
  FillCoded(v->Bitmap(), 100, 100);
  v->Update();
  v->SetMouseInteract(MouseInteractSet({miSelectPolygon}));
  int changed = 0;
  v->OnSelectionChange = [&](TVLObject*) { ++changed; };
  Click(*v, Qt::LeftButton, QPoint(10, 10));
  Click(*v, Qt::LeftButton, QPoint(50, 10));
  EXPECT_EQ(changed, 0);
  // A double-click arrives as a click followed by the double-click message.
  Click(*v, Qt::LeftButton, QPoint(30, 40));
  QTest::mouseDClick(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
  EXPECT_EQ(changed, 1);
  ASSERT_EQ(v->SelectionPointCount(), 3);
  EXPECT_EQ(v->SelectionPoints()[2], (TPoint{30, 40}));
  EXPECT_TRUE(v->HasSelection());
  EXPECT_TRUE(v->SelectionMask().IsSelected(30, 15));
  EXPECT_FALSE(v->SelectionMask().IsSelected(12, 35));
}

TEST(VeloraViewMouse, MagicWandConnectedOrEverySimilarPixel) {
  auto v = MakeView(100, 100);
  TBitmap& b = v->Bitmap();
  b.Reset(20, 10, TPixelFormat::pf24bit);
  // Left half red, right half blue with a red island at (15, 5); the red varies within 10.
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      const bool red = x < 10 || (x == 15 && y == 5);
      p[0] = red ? 0 : 255, p[1] = 0, p[2] = red ? uint8_t(240 + (x % 3) * 5) : 0;
    }
  v->Update();
  v->SetMouseInteract(MouseInteractSet({miSelectMagicWand}));
  for (int mode : {mwRegion, mwAllSimilar}) {
    v->MagicWandMode = mode;
    Click(*v, Qt::LeftButton, QPoint(2, 2));
    TVLMask& m = v->SelectionMask();
    EXPECT_TRUE(m.IsSelected(0, 0)) << mode;
    EXPECT_TRUE(m.IsSelected(9, 9)) << mode;
    EXPECT_FALSE(m.IsSelected(10, 5)) << mode;
    EXPECT_EQ(m.IsSelected(15, 5), mode == mwAllSimilar) << mode;
  }
  v->MagicWandTolerance = 5;  // 240 and 250 are now too far apart
  v->MagicWandMode = mwAllSimilar;
  Click(*v, Qt::LeftButton, QPoint(3, 1));
  EXPECT_FALSE(v->SelectionMask().IsSelected(2, 0));
  EXPECT_TRUE(v->SelectionMask().IsSelected(1, 0));
  EXPECT_TRUE(v->SelectionMask().IsSelected(0, 0));
}

TEST(VeloraViewMouse, MagicWandTracesTheOutline) {
  if (!MaskFillAvailable()) GTEST_SKIP() << "the mask's polygon fill is still a placeholder";
  auto v = MakeView(100, 100);
  TBitmap& b = v->Bitmap();
  b.Reset(10, 8, TPixelFormat::pf24bit);  // black, with a white L: (2..5, 1..2) and (2..3, 3..5)
  for (int y = 1; y < 6; ++y)
    for (int x = 2; x < (y < 3 ? 6 : 4); ++x) std::fill_n(b.ScanLine(y) + 3 * x, 3, uint8_t(255));
  v->Update();
  v->MagicWandMode = mwOutline;
  v->SelectionBase = vlsbBitmap;
  v->MagicWandSelect(3, 4, false);
  const std::vector<TPoint> expected = {{2, 1}, {6, 1}, {6, 3}, {4, 3}, {4, 6}, {2, 6}};
  ASSERT_EQ(v->SelectionPointCount(), int(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(v->SelectionPoints()[i], expected[i]) << i;
}

TEST(VeloraViewPaint, DrawToGivesTheVisiblePart) {
  auto v = MakeView(100, 100);
  FillCoded(v->Bitmap(), 200, 200);
  v->Update();
  v->SetZoom(200);
  v->SetViewOrigin(20, 40);
  QImage out(100, 100, QImage::Format_RGB32);
  out.fill(Qt::white);
  QPainter p(&out);
  v->DrawTo(p);
  p.end();
  EXPECT_EQ(out.pixel(0, 0), Coded(10, 20));
  EXPECT_EQ(out.pixel(3, 1), Coded(11, 20));
  EXPECT_EQ(out.pixel(99, 99), Coded(59, 69));
}

// The blit's own 24 → 32-bit expansion against Qt's conversion of the same pixels, over
// widths that end the rows inside and after the vector steps, and sub-rectangles that start
// at odd columns; pixels outside the rectangle stay as they were.
TEST(VeloraViewPaint, BlitExpansionMatchesQtsConversion) {
  std::mt19937 rng(7);
  for (int w : {1, 2, 5, 17, 18, 19, 35, 37, 100}) {
    TBitmap b(w, 3, TPixelFormat::pf24bit);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = uint8_t(rng());
    QImage reference(w, 3, QImage::Format_BGR888);
    for (int y = 0; y < 3; ++y) std::memcpy(reference.scanLine(y), b.ScanLine(y), size_t(3 * w));
    reference = reference.convertToFormat(QImage::Format_RGB32);
    for (QRect r : {QRect(0, 0, w, 3), QRect(w / 3, 1, w - w / 3, 2), QRect(-4, -1, w + 9, 9)}) {
      QImage out(w, 3, QImage::Format_RGB32);
      out.fill(0xFF345678u);
      CopyToRgb32(b, r, out);
      const QRect in = r & out.rect();
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(out.pixel(x, y), in.contains(x, y) ? reference.pixel(x, y) : 0xFF345678u)
              << "width " << w << " at " << x << ", " << y;
    }
  }
}

// Windows keep RGB32 (offscreen) or premultiplied ARGB32 (X11): the blit lands the same
// opaque pixels, at its place, on both.
TEST(VeloraViewPaint, BlitPlacesTheRectangleOnEitherWindowFormat) {
  TBitmap b;
  FillCoded(b, 30, 20);
  for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
    QImage window(40, 40, f);
    window.fill(Qt::white);
    QImage scratch;
    {
      QPainter p(&window);
      BlitBitmap(p, QPoint(5, 7), b, QRect(3, 2, 20, 10), scratch);
    }
    EXPECT_EQ(scratch.format(), f);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        const bool in = x >= 5 && x < 25 && y >= 7 && y < 17;
        ASSERT_EQ(window.pixel(x, y), in ? Coded(x - 5 + 3, y - 7 + 2) : qRgb(255, 255, 255)) << x << ", " << y;
      }
  }
}

// Everything the view shows comes from its renderer, pixel for pixel, at reduction,
// one to one and enlargement, with the picture off-centre and centred.
TEST(VeloraViewPaint, WindowShowsExactlyTheRenderedPicture) {
  auto v = MakeView(123, 77);
  std::mt19937 rng(3);
  TBitmap& b = v->Bitmap();
  b.Reset(301, 203, TPixelFormat::pf24bit);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < 3 * b.Width(); ++x) b.ScanLine(y)[x] = uint8_t(rng());
  v->Update();
  for (bool centre : {false, true})
    for (double zoom : {25.0, 37.0, 100.0, 333.0}) {
      v->SetCenter(centre);
      v->SetZoom(zoom);
      v->SetViewOrigin(13, 9);
      QApplication::processEvents();
      const QImage shown = Grab(*v);
      TBitmap rendered(v->ExtentX(), v->ExtentY(), TPixelFormat::pf24bit);
      std::vector<uint8_t*> rows;
      v->RenderFast(rendered, rows, TRect{0, 0, rendered.Width(), rendered.Height()});
      for (int y = 0; y < rendered.Height(); ++y)
        for (int x = 0; x < rendered.Width(); ++x) {
          const uint8_t* p = rendered.ScanLine(y) + 3 * x;
          ASSERT_EQ(shown.pixel(x, y), qRgb(p[2], p[1], p[0])) << zoom << " % at " << x << ", " << y;
        }
    }
}

TEST(VeloraViewBase, OwnerWindowHandleFindsTheFirstWidget) {
  auto v = MakeView(20, 20);
  QObject child(v.get());
  QObject grandchild(&child);
  EXPECT_EQ(OwnerWindowHandle(&grandchild), v.get());
  QObject lone;
  EXPECT_EQ(OwnerWindowHandle(&lone), nullptr);
}

TEST(VeloraViewBase, AssignTakesAnyToolkitBitmap) {
  auto v = MakeView(40, 40);
  int changes = 0;
  v->OnImageChange = [&](TVLObject*) { ++changes; };
  TBitmap pal(3, 2, TPixelFormat::pf8bit);
  pal.SetPaletteEntry(7, MakeRGB(10, 20, 30));
  pal.ScanLine(1)[2] = 7;
  v->Assign(&pal);
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(v->Bitmap().BitCount(), 24);
  const uint8_t* p = v->Bitmap().ScanLine(1) + 6;
  EXPECT_EQ((TRGB{p[0], p[1], p[2]}), MakeRGB(10, 20, 30));

  auto other = MakeView(40, 40);
  FillCoded(other->Bitmap(), 5, 4);
  other->SetDpi(300, 200);
  other->Update();
  v->Assign(other.get());
  EXPECT_EQ(v->Bitmap().Width(), 5);
  EXPECT_EQ(v->DpiY(), 200);
  EXPECT_EQ(Grab(*v).pixel(4, 3), Coded(4, 3));
}

TEST(VeloraViewMouse, SelectionDragScrollsPastTheEdge) {
  auto v = MakeView(100, 100);
  FillCoded(v->Bitmap(), 400, 400);
  v->Update();
  v->SetMouseInteract(MouseInteractSet({miSelect}));
  QTest::mousePress(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
  QTest::mouseMove(v.get(), QPoint(120, 60));  // 20 pixels beyond the right edge
  EXPECT_EQ(v->ViewOriginX(), 20);
  EXPECT_EQ(v->ViewOriginY(), 0);
  int x1, y1, x2, y2;
  v->SelectionRect(x1, y1, x2, y2);  // the press stays on bitmap (50, 50)
  EXPECT_EQ((TRect{x1, y1, x2, y2}), (TRect{50, 50, 120, 60}));
  QTest::mouseRelease(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(120, 60));
}

// ------------------------------------------------------------------------- the timer

TEST(VeloraViewTimer, RunsOnlyWhileSomethingMoves) {
  auto v = MakeView(200, 200);
  EXPECT_FALSE(v->Timer().isActive());  // an idle view never wakes
  TBitmap& b = v->Bitmap();
  b.Reset(400, 400, TPixelFormat::pf24bit);
  v->Update();
  v->SetZoomFilter(rfLanczos3);
  v->SetZoom(50);
  EXPECT_TRUE(v->Timer().isActive());  // the filtered repaint is due after the delay
  v->TimerTick();
  EXPECT_TRUE(v->Timer().isActive());
  v->TimerTick();
  EXPECT_EQ(v->FilterDelayTicks(), 0);
  EXPECT_FALSE(v->Timer().isActive());  // repainted once, then asleep
  // A new picture is a change too: its filtered repaint waits for the delay, and a picture
  // replaced within the delay is never filtered.
  v->NotifyImageChanged();
  EXPECT_EQ(v->FilterDelayTicks(), 2);
  EXPECT_TRUE(v->Timer().isActive());
  v->TimerTick();
  v->TimerTick();
  EXPECT_FALSE(v->Timer().isActive());
  if (!MaskFillAvailable()) GTEST_SKIP() << "the mask's polygon fill is still a placeholder";
  // The ants march while a selection exists, and stop with it.
  v->AddRectangleSelection(10, 10, 60, 60, false);
  ASSERT_TRUE(v->HasSelection());
  v->grab();
  EXPECT_TRUE(v->Timer().isActive());
  v->TimerTick();
  v->TimerTick();
  v->TimerTick();
  EXPECT_TRUE(v->Timer().isActive());
  v->Deselect();
  v->TimerTick();
  EXPECT_FALSE(v->Timer().isActive());
}
