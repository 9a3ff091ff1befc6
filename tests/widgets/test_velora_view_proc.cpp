// The single-image view's own processing component: created on first use, attached, reaching
// the installed preview launcher with the view's canvas locked, and limited by the view's
// selection.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "mview/velora_mview.h"
#include "view/qt/preview_launcher.h"
#include "view/qt/velora_view.h"

using namespace velora;

namespace {

TRGB Pixel(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }

void FillCoded(TBitmap& b, int w, int h) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = MakeRGB(uint8_t(x), uint8_t(y), 7);
}

std::unique_ptr<TVeloraView> MakeView() {
  auto v = std::make_unique<TVeloraView>();
  v->resize(120, 90);
  v->show();
  QApplication::processEvents();
  return v;
}

// Installs a launcher for one test that paints the Source copy white on OK and records the
// canvas lock count it saw; uninstalls it afterwards.
struct TInstalledStub {
  TVeloraView* view;
  bool ok = true;
  int calls = 0;
  int locksSeen = -1;
  int sourceWidth = 0, sourceHeight = 0;
  explicit TInstalledStub(TVeloraView* v) : view(v) {
    InstallPreviewLauncher([this](TPreviewRequest& r) {
      ++calls;
      locksSeen = view->CanvasLockCount();
      sourceWidth = r.Source.Width(), sourceHeight = r.Source.Height();
      if (ok)
        for (int y = 0; y < r.Source.Height(); ++y)
          for (int x = 0; x < r.Source.Width(); ++x)
            reinterpret_cast<TRGB*>(r.Source.ScanLine(y))[x] = MakeRGB(255, 255, 255);
      return ok;
    });
  }
  ~TInstalledStub() { InstallPreviewLauncher(nullptr); }
};

}  // namespace

TEST(VeloraViewProc, GetProcMakesOneAttachedComponent) {
  auto view = MakeView();
  TVeloraProc& proc = view->GetProc();
  EXPECT_EQ(&view->GetProc(), &proc);
  EXPECT_EQ(proc.AttachedVelora(), static_cast<TVLViewLink*>(view.get()));
  EXPECT_EQ(proc.WorkBitmap(), view->GetBitmap());
  EXPECT_EQ(proc.AlphaMask(), view->GetAlphaMask());
  EXPECT_TRUE(proc.PreviewLauncher);
  // Background forwarding reaches the widget.
  proc.SetBackground(0x00203040);
  EXPECT_EQ(view->Background(), 0x00203040u);
  // The component leaves with its view (the sanitizers watch for a late listener call).
  EXPECT_EQ(view->ChangeListenerCount(), 1);
  view.reset();
}

TEST(VeloraViewProc, ShowPreviewsHoldsTheCanvasLockOnlyWhileTheDialogIsOpen) {
  auto view = MakeView();
  FillCoded(view->Bitmap(), 10, 8);
  view->Update();
  int imageChanges = 0;
  view->OnImageChange = [&](TVLObject*) { ++imageChanges; };
  TVeloraProc& proc = view->GetProc();

  // No launcher installed: refused, lock released.
  EXPECT_FALSE(proc.ShowPreviews(30));
  EXPECT_EQ(view->CanvasLockCount(), 0);

  TInstalledStub stub(view.get());
  ASSERT_TRUE(proc.ShowPreviews(30));
  EXPECT_EQ(stub.locksSeen, 1);
  EXPECT_EQ(view->CanvasLockCount(), 0);
  EXPECT_EQ(Pixel(view->Bitmap(), 9, 7), MakeRGB(255, 255, 255));
  EXPECT_EQ(imageChanges, 1);
  EXPECT_EQ(proc.UndoCount(), 1);

  stub.ok = false;
  EXPECT_FALSE(proc.ShowPreviews(2208));
  EXPECT_EQ(view->CanvasLockCount(), 0);
  EXPECT_EQ(imageChanges, 1);
}

TEST(VeloraViewProc, RefusalsLeaveTheCanvasUnlocked) {
  struct Case {
    const char* name;
    int w, h;
    TPixelFormat pf;
  } cases[] = {{"empty view", 0, 0, TPixelFormat::pf24bit}, {"1x1", 1, 1, TPixelFormat::pf24bit},
               {"1-bit", 16, 8, TPixelFormat::pf1bit}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto view = MakeView();
    if (c.w > 0) view->Bitmap().Reset(c.w, c.h, c.pf);
    TInstalledStub stub(view.get());
    EXPECT_FALSE(view->GetProc().ShowPreviews(30));
    EXPECT_EQ(stub.calls, 0);
    EXPECT_EQ(view->CanvasLockCount(), 0);
  }
}

TEST(VeloraViewProc, TheViewsSelectionLimitsTheResult) {
  auto view = MakeView();
  FillCoded(view->Bitmap(), 10, 8);
  view->SelectionBase = vlsbBitmap;
  view->Update();
  view->AddRectangleSelection(2, 1, 4, 3, false);
  ASSERT_TRUE(view->HasSelection());

  TVeloraProc& proc = view->GetProc();
  TVLSelectionArea area;
  ASSERT_TRUE(proc.GetSelectionArea(area));
  EXPECT_EQ((TRect{area.X0, area.Y0, area.X1, area.Y1}), (TRect{2, 1, 5, 4}));
  EXPECT_EQ(area.Mask, &view->SelectionMask());
  EXPECT_EQ(area.PointCount, view->SelectionPointCount());

  TInstalledStub stub(view.get());
  ASSERT_TRUE(proc.ShowPreviews(30));
  EXPECT_EQ(stub.sourceWidth, 3);
  EXPECT_EQ(stub.sourceHeight, 3);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x <= 4 && y >= 1 && y <= 3;
      EXPECT_EQ(Pixel(view->Bitmap(), x, y), inside ? MakeRGB(255, 255, 255) : MakeRGB(uint8_t(x), uint8_t(y), 7))
          << x << "," << y;
    }

  view->Deselect();
  EXPECT_FALSE(proc.GetSelectionArea(area));
  EXPECT_EQ((TRect{area.X0, area.Y0, area.X1, area.Y1}), (TRect{0, 0, 10, 8}));
}

TEST(VeloraViewProc, TheMultiViewAnswersNoSelection) {
  TVeloraMView mview;
  TVeloraProc proc;
  proc.SetAttachedVelora(&mview);
  TVLViewLink::TSelection selection;
  EXPECT_FALSE(static_cast<TVLViewLink&>(mview).GetSelection(selection));
  TVLSelectionArea area;
  EXPECT_FALSE(proc.GetSelectionArea(area));
  EXPECT_EQ(area.Mask, nullptr);
}
