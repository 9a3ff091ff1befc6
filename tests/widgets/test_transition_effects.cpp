// The transition engine with a fake clock, on a view that counts what the engine asks of it,
// and on the single-image view: capture, load, start, checked on what the view paints.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <cstring>
#include <memory>
#include <vector>

#include "mview/velora_mview.h"
#include "view/qt/transition_effects.h"
#include "view/qt/velora_view.h"

using namespace velora;

namespace {

// A view that counts the engine's calls: its lock, its refreshes and its paints.
class TCountingView : public TVLView {
 public:
  TCountingView() {
    resize(40, 30);
    show();
    QApplication::processEvents();
    Engine.SetTickCount([this] { return Now; });
  }
  TVLMask* GetAlphaMask() override { return nullptr; }
  void LockUpdate() override { ++Locks, ++LockCount; }
  void UnlockUpdate() override {
    if (LockCount > 0) --LockCount;
  }
  void UnlockUpdateNoRefresh() override {
    ++UnlocksNoRefresh;
    if (LockCount > 0) --LockCount;
  }
  void Update() override { ++Updates; }

  int Locks = 0, UnlocksNoRefresh = 0, LockCount = 0, Updates = 0;
  int FramePaints = 0, OwnPaints = 0;
  int64_t Now = 0;
  TVLTransitionEffects Engine{this};

 protected:
  void paintEvent(QPaintEvent*) override { ++(Engine.Running() ? FramePaints : OwnPaints); }
};

void Fill(TBitmap& b, int w, int h, uint8_t value, TPixelFormat pf = TPixelFormat::pf24bit) {
  b.Reset(w, h, pf);
  if (!b.Empty()) std::memset(b.Bits(), value, size_t(b.ImageSize()));
}

struct TPictures {
  TBitmap Black, White;
  TPictures(int w = 40, int h = 30) {
    Fill(Black, w, h, 0);
    Fill(White, w, h, 255);
  }
};

}  // namespace

// The transition ends at the first tick at least the duration after the start, however many
// frames were drawn before; a duration below 1 ms counts as 1. The view is locked once,
// unlocked once, shown a frame at every tick and then paints its own picture.
TEST(TransitionEngine, EndsAtTheFirstTickPastTheDuration) {
  const struct {
    int Duration;
    std::vector<int64_t> Ticks;  // the last one ends the transition
  } cases[] = {
      {1000, {0, 10, 500, 999, 1000}},
      {1000, {0, 1003}},
      {1000, {1500}},
      {0, {0, 0, 1}},
      {-5, {0, 1}},
  };
  for (const auto& c : cases) {
    TCountingView view;
    TPictures pictures;
    ASSERT_TRUE(view.Engine.Start(pictures.Black, pictures.White, vlttCrossDissolve, c.Duration, false));
    EXPECT_EQ(view.LockCount, 1);
    EXPECT_TRUE(view.Engine.Timer().isActive());
    for (size_t i = 0; i < c.Ticks.size(); ++i) {
      view.Now = c.Ticks[i];
      view.Engine.Step();
      EXPECT_EQ(view.Engine.Running(), i + 1 < c.Ticks.size()) << "duration " << c.Duration << " tick " << i;
    }
    view.Engine.Step();  // a tick after the end does nothing
    EXPECT_EQ(view.FramePaints, int(c.Ticks.size()));
    EXPECT_EQ(view.Engine.FramesDrawn(), int(c.Ticks.size()));
    EXPECT_EQ(view.Locks, 1);
    EXPECT_EQ(view.UnlocksNoRefresh, 1);
    EXPECT_EQ(view.LockCount, 0);
    EXPECT_EQ(view.Updates, 0);
    EXPECT_FALSE(view.Engine.Timer().isActive());
    EXPECT_EQ(view.Engine.Frame().Width(), 1);
    const int ownBefore = view.OwnPaints;
    QApplication::processEvents();
    EXPECT_GT(view.OwnPaints, ownBefore) << "the view repaints its picture at the end";
  }
}

// The frame drawn at a tick uses the progress of the tick before; until the first tick the
// frame is the source.
TEST(TransitionEngine, FrameUsesThePreviousTicksProgress) {
  TCountingView view;
  TPictures pictures;
  ASSERT_TRUE(view.Engine.Start(pictures.Black, pictures.White, vlttCrossDissolve, 1000, false));
  EXPECT_EQ(view.Engine.Frame().ScanLine(0)[0], 0);
  view.Now = 500;
  view.Engine.Step();
  EXPECT_EQ(view.Engine.Frame().ScanLine(29)[0], 0);  // drawn at p = 0
  EXPECT_EQ(view.Engine.Progress(), 512);
  view.Now = 600;
  view.Engine.Step();
  EXPECT_EQ(view.Engine.Frame().ScanLine(29)[3 * 39 + 2], 127);  // drawn at p = 512
  EXPECT_EQ(view.Engine.Progress(), 614);                       // 600 × 1024 / 1000
}

// A start that cannot animate locks nothing and runs nothing; the view just paints its picture.
TEST(TransitionEngine, RefusedStartsLockNothing) {
  TBitmap one, other, mono, empty;
  Fill(one, 40, 30, 10);
  Fill(other, 41, 30, 20);
  Fill(mono, 40, 30, 0, TPixelFormat::pf1bit);
  Fill(empty, 0, 0, 0);
  const struct {
    const TBitmap* Source;
    const TBitmap* Target;
    TVLTransitionType Effect;
  } cases[] = {
      {&one, &one, vlttNone}, {&one, &other, vlttCrossDissolve}, {&mono, &one, vlttFadeIn},
      {&one, &mono, vlttFadeIn}, {&empty, &empty, vlttLeftRight1}, {&one, &one, TVLTransitionType(200)},
  };
  for (const auto& c : cases) {
    TCountingView view;
    const int ownBefore = view.OwnPaints;
    EXPECT_FALSE(view.Engine.Start(*c.Source, *c.Target, c.Effect, 1000, false));
    EXPECT_FALSE(view.Engine.Running());
    EXPECT_FALSE(view.Engine.Timer().isActive());
    EXPECT_EQ(view.Locks, 0);
    view.Engine.Stop();
    EXPECT_EQ(view.UnlocksNoRefresh, 0);
    QApplication::processEvents();
    EXPECT_GT(view.OwnPaints, ownBefore);
  }
}

// A start during a transition ends it first: the view never holds more than one lock, and the
// lock goes even when the effect was set to vlttNone meanwhile.
TEST(TransitionEngine, OneLockAtATime) {
  TCountingView view;
  TPictures pictures;
  ASSERT_TRUE(view.Engine.Start(pictures.Black, pictures.White, vlttFadeOut, 1000, false));
  ASSERT_TRUE(view.Engine.Start(pictures.White, pictures.Black, vlttFadeIn, 1000, true));
  EXPECT_EQ(view.Locks, 2);
  EXPECT_EQ(view.LockCount, 1);
  view.Engine.SetEffect(vlttNone);
  view.Now = 1000;
  view.Engine.Step();
  EXPECT_FALSE(view.Engine.Running());
  EXPECT_EQ(view.LockCount, 0);
  EXPECT_EQ(view.Updates, 1) << "refresh at end runs the view's Update";
}

TEST(TransitionEngine, ViewDestroyedWhileRunning) {
  auto view = std::make_unique<TCountingView>();
  TPictures pictures;
  ASSERT_TRUE(view->Engine.Start(pictures.Black, pictures.White, vlttRandomBoxes, 1000, true));
  view->Engine.Step();
  view.reset();
  QApplication::processEvents();
}

namespace {

constexpr TColor kBackground = 0x00402010;

// Picture `seed`: every pixel different, so that a frame shows where its pixels came from.
void FillPicture(TBitmap& b, int w, int h, int seed) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = uint8_t(x * 3 + seed), p[1] = uint8_t(y * 5), p[2] = uint8_t(seed * 40);
    }
}
QRgb PictureRgb(int x, int y, int seed) { return qRgb(uint8_t(seed * 40), uint8_t(y * 5), uint8_t(x * 3 + seed)); }

// A shown, borderless single-image view of 80 × 48 with its clock in the test's hands.
struct TViewFixture {
  TVeloraView View;
  int64_t Now = 0;
  TViewFixture() {
    View.SetBorderStyle(bsNone);
    View.SetBackground(kBackground);
    View.resize(80, 48);
    View.show();
    View.Transition().SetTickCount([this] { return Now; });
    View.Transition().SetRandomSeed(7);
    Show(1);
  }
  // What a program does when it loads a picture: new pixels, then Update.
  void Show(int seed) {
    FillPicture(View.Bitmap(), 64, 48, seed);
    View.Update();
    QApplication::processEvents();
  }
  QImage Grab() { return View.grab().toImage().convertToFormat(QImage::Format_RGB32); }
  void Tick(int64_t t) {
    Now = t;
    View.Transition().Step();
  }
};

// How many pixels of the grabbed view show picture `seed` (columns 0 .. 63) or the background.
int CountShowing(const QImage& img, int seed) {
  int n = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 80; ++x)
      n += img.pixel(x, y) == (x < 64 ? PictureRgb(x, y, seed) : qRgb(0x10, 0x20, 0x40));
  return n;
}

}  // namespace

// Capture, load, start: the frames go from what the view showed (background included) to
// what it shows now, and at the end the view paints its picture again.
TEST(TransitionView, CaptureLoadStart) {
  TViewFixture f;
  f.View.CaptureTransitionSource();
  f.Show(2);
  ASSERT_TRUE(f.View.StartTransition(vlttLeftRight1, 1000));
  EXPECT_EQ(CountShowing(f.Grab(), 1), 80 * 48) << "the source until the first tick";
  f.Tick(500);
  f.Tick(500);  // drawn at p = 512: columns [0, 40) of the target
  const QImage half = f.Grab();
  EXPECT_EQ(half.pixel(39, 10), PictureRgb(39, 10, 2));
  EXPECT_EQ(half.pixel(40, 10), PictureRgb(40, 10, 1));
  EXPECT_EQ(half.pixel(70, 10), qRgb(0x10, 0x20, 0x40));
  f.Tick(1000);
  EXPECT_FALSE(f.View.Transition().Running());
  QApplication::processEvents();
  EXPECT_EQ(CountShowing(f.Grab(), 2), 80 * 48);
}

// The random effects leave gaps in their last frame (p < 1024): the end shows the target whole.
TEST(TransitionView, RandomEffectEndsWithTheWholeTarget) {
  for (auto effect : {vlttRandomPoints, vlttRandomBoxes}) {
    TViewFixture f;
    f.View.CaptureTransitionSource();
    f.Show(3);
    ASSERT_TRUE(f.View.StartTransition(effect, 1000));
    f.Tick(0);
    f.Tick(600);
    f.Tick(700);
    const int during = CountShowing(f.Grab(), 3);
    EXPECT_GT(during, 0);
    EXPECT_LT(during, 80 * 48);
    f.Tick(1000);
    QApplication::processEvents();
    EXPECT_EQ(CountShowing(f.Grab(), 3), 80 * 48) << TransitionName(effect);
  }
}

// Starts that animate nothing leave the view free: it shows the new picture and the ones after.
TEST(TransitionView, StartsThatAnimateNothing) {
  {
    TViewFixture f;
    f.View.CaptureTransitionSource();
    f.Show(2);
    EXPECT_FALSE(f.View.StartTransition(vlttNone, 1000));
    EXPECT_EQ(CountShowing(f.Grab(), 2), 80 * 48);
    f.Show(4);
    EXPECT_EQ(CountShowing(f.Grab(), 4), 80 * 48) << "vlttNone left the view locked";
  }
  {
    TViewFixture f;  // no capture
    f.Show(2);
    EXPECT_FALSE(f.View.StartTransition(vlttCrossDissolve, 1000));
    EXPECT_EQ(CountShowing(f.Grab(), 2), 80 * 48);
  }
  {
    TViewFixture f;  // the view changed size between capture and start
    f.View.CaptureTransitionSource();
    f.View.resize(90, 48);
    f.Show(2);
    EXPECT_FALSE(f.View.StartTransition(vlttCrossDissolve, 1000));
    EXPECT_FALSE(f.View.Transition().Running());
  }
}

TEST(TransitionView, MultiViewHoldsEffectAndDurationInItsEngine) {
  TVeloraMView mview;
  EXPECT_EQ(mview.TransitionEffect(), vlttNone);
  EXPECT_EQ(mview.TransitionDuration(), 1000);
  mview.SetTransitionEffect(vlttCenterZoom2);
  mview.SetTransitionDuration(250);
  EXPECT_EQ(mview.Transition().Effect(), vlttCenterZoom2);
  EXPECT_EQ(mview.Transition().Duration(), 250);
  EXPECT_FALSE(mview.Transition().Running());
  EXPECT_EQ(mview.Transition().Frame().Width(), 1);
}
