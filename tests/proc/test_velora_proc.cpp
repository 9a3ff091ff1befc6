// The processing component against a view stand-in, a picture holder and bare bitmaps: its
// targets, its undo store and its launcher, with a stub dialog in place of the preview form.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "proc/ft_image.h"
#include "proc/velora_proc.h"

using namespace velora;

namespace {

TRGB Pixel(const TBitmap& b, int x, int y) { return reinterpret_cast<const TRGB*>(b.ScanLine(y))[x]; }
void SetPixel(TBitmap& b, int x, int y, TRGB c) { reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = c; }

// Every pixel differs: r = x, g = y, b = 7.
void FillCoded(TBitmap& b, int w, int h) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixel(b, x, y, MakeRGB(uint8_t(x), uint8_t(y), 7));
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat()) return false;
  const int bytes = int(RowSize(a.Width(), a.BitCount()));
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(bytes)) != 0) return false;
  return true;
}

// A single-image view as the component sees it: its bitmap, masks, selection, lock count and
// a log of the calls it receives.
class TFakeView : public TVLViewLink {
 public:
  TBitmap Bitmap;
  TVLMask Alpha;
  TVLMask SelMask;
  std::vector<TPoint> Points{{1, 1}, {4, 1}, {4, 3}};
  bool Selected = false;
  bool AnswersSelection = true;  // false: a view without selections, as the multi-view
  int CanvasLocks = 0;
  std::vector<std::string> Calls;
  TColor Colour = clBtnFace;

  ~TFakeView() override {
    auto listeners = std::move(Listeners);
    for (auto& l : listeners) l.second(true);
  }
  TBitmap* GetBitmap() override { return &Bitmap; }
  TVLMask* GetAlphaMask() override { return &Alpha; }
  int DpiX() const override { return 96; }
  int DpiY() const override { return 96; }
  void SetDpi(int, int) override {}
  void Update() override { Calls.push_back("Update"); }
  void NotifyImageChanged() override { Calls.push_back("NotifyImageChanged"); }
  TColor Background() const override { return Colour; }
  void SetBackground(TColor c) override { Colour = c; }
  int AddChangeListener(TChangeListener l) override {
    Listeners.emplace_back(NextId, std::move(l));
    return NextId++;
  }
  void RemoveChangeListener(int id) override {
    std::erase_if(Listeners, [id](const auto& l) { return l.first == id; });
  }
  bool GetSelection(TSelection& s) override {
    if (!AnswersSelection) return false;
    s.Mask = &SelMask;
    s.Points = Points.data();
    s.PointCount = int(Points.size());
    s.Active = Selected;
    return true;
  }
  void LockCanvas() override { ++CanvasLocks; }
  void UnlockCanvas() override { --CanvasLocks; }

  void NotifyChanged() {
    for (auto& l : Listeners) l.second(false);
  }
  // Selects the pixels of `pixels` (bitmap coordinates) in a mask of w × h.
  void Select(int w, int h, std::initializer_list<TPoint> pixels) {
    SelMask.Allocate(w, h, 1);
    SelMask.Empty();
    for (TPoint p : pixels) SelMask.SetPixel(p.X, p.Y, 1);
    Selected = true;
  }

  std::vector<std::pair<int, TChangeListener>> Listeners;
  int NextId = 1;
};

class TPicture : public TVLPictureHolder {
 public:
  TBitmap Bitmap;
  TBitmap& PictureBitmap() override { return Bitmap; }
};

// A stand-in for the preview dialog: records what it was given, and on OK leaves its edit of
// the Source copy there.
struct TStubDialog {
  bool ok = true;
  int calls = 0;
  int locksSeen = -1;
  TFakeView* view = nullptr;
  TPreviewPageSet pages = 0;
  int sourceWidth = 0, sourceHeight = 0;
  TRGB firstSourcePixel;
  TBitmap* lastSource = nullptr;
  std::function<void(TBitmap&)> edit = [](TBitmap& b) {
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) SetPixel(b, x, y, MakeRGB(255, 255, 255));
  };

  TPreviewLauncher Launcher() {
    return [this](TPreviewRequest& r) {
      ++calls;
      if (view) locksSeen = view->CanvasLocks;
      pages = r.Pages;
      sourceWidth = r.Source.Width(), sourceHeight = r.Source.Height();
      if (!r.Source.Empty()) firstSourcePixel = Pixel(r.Source, 0, 0);
      if (ok) edit(r.Source);
      return ok;
    };
  }
};

// A component on a fake view holding a coded w × h image, with a stub dialog installed.
struct TProcOnView {
  TFakeView view;
  TVeloraProc proc;
  TStubDialog dialog;
  explicit TProcOnView(int w = 6, int h = 5) {
    FillCoded(view.Bitmap, w, h);
    proc.SetAttachedVelora(&view);
    dialog.view = &view;
    proc.PreviewLauncher = dialog.Launcher();
  }
};

}  // namespace

// ---- targets ----------------------------------------------------------------------------

TEST(VeloraProc, StartsWithTheStatedDefaults) {
  TVeloraProc p;
  EXPECT_EQ(p.AttachedVelora(), nullptr);
  EXPECT_EQ(p.AttachedTImage(), nullptr);
  EXPECT_EQ(p.WorkBitmap(), nullptr);
  EXPECT_TRUE(p.AutoUndo);
  EXPECT_EQ(p.Background(), clBlack);
  EXPECT_EQ(p.MsgLanguage, msSystem);
  EXPECT_EQ(p.PreviewsParams, 0u);
  EXPECT_EQ(p.UndoLimit, 1);
  EXPECT_EQ(p.UndoLocation(), slFile);
  EXPECT_EQ(p.UndoCount(), 0);
  EXPECT_EQ(p.PreviewFont(), TVLFont{});
  EXPECT_FALSE(p.PreviewLauncher);
}

TEST(VeloraProc, FollowsTheViewThroughItsListener) {
  auto view = std::make_unique<TFakeView>();
  TVeloraProc p;
  p.SetAttachedVelora(view.get());
  EXPECT_EQ(p.WorkBitmap(), &view->Bitmap);
  EXPECT_EQ(p.AlphaMask(), &view->Alpha);
  ASSERT_EQ(view->Listeners.size(), 1u);

  // A change makes the component fetch the bitmap and mask again.
  p.SetAlphaMask(nullptr);
  view->NotifyChanged();
  EXPECT_EQ(p.AlphaMask(), &view->Alpha);

  // Attaching again, or to another view, leaves one listener in all.
  TFakeView other;
  p.SetAttachedVelora(&other);
  EXPECT_TRUE(view->Listeners.empty());
  EXPECT_EQ(other.Listeners.size(), 1u);
  p.SetAttachedVelora(view.get());
  EXPECT_TRUE(other.Listeners.empty());

  // The view going away leaves no reference to it, its bitmap or its mask.
  view.reset();
  EXPECT_EQ(p.AttachedVelora(), nullptr);
  EXPECT_EQ(p.WorkBitmap(), nullptr);
  EXPECT_EQ(p.AlphaMask(), nullptr);
  EXPECT_FALSE(p.ShowPreviews(30));
}

TEST(VeloraProc, LeavesTheViewWhenDetachedOrFreed) {
  TFakeView view;
  {
    TVeloraProc p;
    p.SetAttachedVelora(&view);
    p.SetAttachedVelora(nullptr);
    EXPECT_TRUE(view.Listeners.empty());
    EXPECT_EQ(p.WorkBitmap(), nullptr);
    p.SetAttachedVelora(&view);
  }
  EXPECT_TRUE(view.Listeners.empty());
}

TEST(VeloraProc, BareBitmapAndPictureHolderTargets) {
  TFakeView view;
  TVeloraProc p;
  p.SetAttachedVelora(&view);
  // A nil bitmap while a view is attached changes nothing.
  p.AttachBitmap(nullptr);
  EXPECT_EQ(p.AttachedVelora(), &view);
  EXPECT_EQ(view.Listeners.size(), 1u);

  TBitmap bare(3, 2, TPixelFormat::pf24bit);
  p.AttachBitmap(&bare);
  EXPECT_EQ(p.WorkBitmap(), &bare);
  EXPECT_EQ(p.AttachedVelora(), nullptr);
  EXPECT_EQ(p.AlphaMask(), nullptr);
  EXPECT_TRUE(view.Listeners.empty());
  int modified = 0;
  bare.AddChangeHandler([&] { ++modified; });
  p.RefreshTarget();
  EXPECT_EQ(modified, 1);

  auto picture = std::make_unique<TPicture>();
  FillCoded(picture->Bitmap, 4, 4);
  int pictureModified = 0;
  picture->Bitmap.AddChangeHandler([&] { ++pictureModified; });
  p.SetAttachedTImage(picture.get());
  EXPECT_EQ(p.WorkBitmap(), &picture->Bitmap);
  p.PushUndo();
  SetPixel(picture->Bitmap, 0, 0, MakeRGB(9, 9, 9));
  p.RestoreUndo();
  EXPECT_EQ(Pixel(picture->Bitmap, 0, 0), MakeRGB(0, 0, 7));
  EXPECT_EQ(pictureModified, 1);
  // The holder going away is heard: nothing is left pointing into it.
  picture.reset();
  EXPECT_EQ(p.AttachedTImage(), nullptr);
  EXPECT_EQ(p.WorkBitmap(), nullptr);
}

TEST(VeloraProc, RefreshTargetUpdatesTheViewThenNotifies) {
  TFakeView view;
  TVeloraProc p;
  p.SetAttachedVelora(&view);
  p.RefreshTarget();
  EXPECT_EQ(view.Calls, (std::vector<std::string>{"Update", "NotifyImageChanged"}));
}

TEST(VeloraProc, BackgroundIsTheViewsWhileOneIsAttached) {
  TFakeView view;
  view.Colour = 0x00123456;
  TVeloraProc p;
  p.SetBackground(0x00000011);
  p.SetAttachedVelora(&view);
  EXPECT_EQ(p.Background(), 0x00123456u);
  p.SetBackground(0x00ABCDEFu);
  EXPECT_EQ(view.Colour, 0x00ABCDEFu);
  // The dialog's views get the attached view's colour.
  TStubDialog dialog;
  TColor handed = 0;
  p.PreviewLauncher = [&](TPreviewRequest& r) {
    handed = r.Background;
    return false;
  };
  FillCoded(view.Bitmap, 4, 4);
  p.ShowPreviews(30);
  EXPECT_EQ(handed, 0x00ABCDEFu);
  // Detached, the component's own colour comes back untouched by the view's.
  p.SetAttachedVelora(nullptr);
  EXPECT_EQ(p.Background(), 0x00000011u);
}

// ---- undo -------------------------------------------------------------------------------

// Two operations in a row (two OKs of the dialog, each inverting nothing but changing every
// pixel): the store keeps the newest copies up to the limit, and a limit below 1 keeps one.
TEST(VeloraProc, UndoLimitBoundsTheStore) {
  struct Case {
    int limit;
    int entries;
  } cases[] = {{1, 1}, {2, 2}, {0, 1}, {-5, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    TProcOnView t;
    t.proc.UndoLimit = c.limit;
    TBitmap original;
    original.Assign(t.view.Bitmap);
    t.dialog.edit = [](TBitmap& b) { SetPixel(b, 0, 0, MakeRGB(1, 2, 3)); };
    ASSERT_TRUE(t.proc.ShowPreviews(30));
    TBitmap afterFirst;
    afterFirst.Assign(t.view.Bitmap);
    t.dialog.edit = [](TBitmap& b) { SetPixel(b, 1, 0, MakeRGB(4, 5, 6)); };
    ASSERT_TRUE(t.proc.ShowPreviews(30));
    ASSERT_EQ(t.proc.UndoCount(), c.entries);
    // The newest copy is the one taken before the second operation.
    t.proc.RestoreUndo();
    EXPECT_TRUE(SamePixels(t.view.Bitmap, afterFirst));
    if (c.entries == 2) {
      t.proc.RestoreUndoAt(1);
      EXPECT_TRUE(SamePixels(t.view.Bitmap, original));
    }
  }
}

TEST(VeloraProc, RestoreUndoTwiceRestoresTheSameCopy) {
  TBitmap bare;
  FillCoded(bare, 5, 4);
  TBitmap original;
  original.Assign(bare);
  TVeloraProc p;
  p.AttachBitmap(&bare);
  p.PushUndo();
  for (int round = 0; round < 2; ++round) {
    bare.Reset(2, 2, TPixelFormat::pf1bit);  // size and format change as well
    p.RestoreUndo();
    EXPECT_TRUE(SamePixels(bare, original)) << round;
    EXPECT_EQ(p.UndoCount(), 1);
  }
  // Out of range steps do nothing.
  bare.Reset(2, 2, TPixelFormat::pf24bit);
  p.RestoreUndoAt(1);
  p.RestoreUndoAt(-1);
  EXPECT_EQ(bare.Width(), 2);
}

TEST(VeloraProc, UndoCopiesGoWhereUndoLocationSaysWithTheirCaptions) {
  TBitmap bare;
  FillCoded(bare, 5, 4);
  TVeloraProc p;
  p.UndoLimit = 3;
  p.AttachBitmap(&bare);
  p.PushUndoCaptioned("first");
  p.SetUndoLocation(slMemory);
  p.PushUndo();
  ASSERT_EQ(p.UndoCount(), 2);
  EXPECT_EQ(p.UndoCopy(1)->Location(), slFile);
  EXPECT_GE(p.UndoCopy(1)->FileHandle(), 0);
  EXPECT_EQ(p.UndoCopy(0)->Location(), slMemory);
  EXPECT_EQ(p.UndoCaptions(), (std::vector<std::string>{"first", ""}));
  // The oldest entry leaves with its caption.
  p.UndoLimit = 2;
  p.PushUndoCaptioned("third");
  EXPECT_EQ(p.UndoCaptions(), (std::vector<std::string>{"", "third"}));
  p.ClearUndoStore();
  EXPECT_EQ(p.UndoCount(), 0);
  EXPECT_TRUE(p.UndoCaptions().empty());
  // Nothing to copy: no entry, and a caption is not put on an older one.
  TBitmap empty;
  p.AttachBitmap(&empty);
  p.PushUndoCaptioned("none");
  EXPECT_EQ(p.UndoCount(), 0);
}

// ---- the launcher -----------------------------------------------------------------------

TEST(VeloraProc, ShowPreviewsRefusesUnsuitableTargetsAndReleasesTheLock) {
  struct Case {
    const char* name;
    int w, h;
    TPixelFormat pf;
    bool attach;
    bool launched;
  } cases[] = {
      {"1x1", 1, 1, TPixelFormat::pf24bit, true, false},
      {"1-bit", 8, 8, TPixelFormat::pf1bit, true, false},
      {"nothing attached", 8, 8, TPixelFormat::pf24bit, false, false},
      {"one column", 1, 5, TPixelFormat::pf24bit, true, true},
      {"one row", 5, 1, TPixelFormat::pf24bit, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeView view;
    view.Bitmap.Reset(c.w, c.h, c.pf);
    TVeloraProc p;
    TStubDialog dialog;
    dialog.view = &view;
    dialog.ok = false;
    p.PreviewLauncher = dialog.Launcher();
    if (c.attach) p.SetAttachedVelora(&view);
    EXPECT_FALSE(p.ShowPreviews(30));
    EXPECT_EQ(dialog.calls, c.launched ? 1 : 0);
    if (c.launched) {
      EXPECT_EQ(dialog.locksSeen, 1);
    }
    EXPECT_EQ(view.CanvasLocks, 0);
  }
}

TEST(VeloraProc, ShowPreviewsWithoutALauncherIsFalse) {
  TProcOnView t;
  t.proc.PreviewLauncher = nullptr;
  EXPECT_FALSE(t.proc.ShowPreviews(30));
  EXPECT_EQ(t.view.CanvasLocks, 0);
}

TEST(VeloraProc, TheLockIsReleasedWhenTheDialogThrows) {
  TProcOnView t;
  t.proc.PreviewLauncher = [](TPreviewRequest&) -> bool { throw std::runtime_error("dialog failed"); };
  EXPECT_THROW(t.proc.ShowPreviews(30), std::runtime_error);
  EXPECT_EQ(t.view.CanvasLocks, 0);
}

TEST(VeloraProc, PageSetsReachTheLauncherWithTheDialogSettings) {
  using P = TPreviewPage;
  struct Case {
    TPreviewPageSet set;
    std::vector<P> shown;
  } cases[] = {
      {30, {ppContrast, ppHSV, ppHSL, ppRGB}},
      {2208, {ppUserFilter, ppBumpMap, ppRotate}},
      {1,
       {ppContrast, ppHSV, ppHSL, ppRGB, ppUserFilter, ppEqualization, ppBumpMap, ppLens, ppWave, ppMorph, ppRotate,
        ppFFT}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    TProcOnView t;
    t.proc.MsgLanguage = msItalian;
    t.proc.PreviewsParams = 1u << prppDefaultLockPreview;
    TVLFont font;
    font.Height = -13;
    t.proc.SetPreviewFont(font);
    int progressCalls = 0;
    t.proc.OnProgress = [&](TVLObject* sender, int) {
      EXPECT_EQ(sender, &t.proc);
      ++progressCalls;
    };
    TPreviewRequest seen;
    t.proc.PreviewLauncher = [&](TPreviewRequest& r) {
      seen.Pages = r.Pages;
      seen.Proc = r.Proc;
      seen.LockPreviewDefault = r.LockPreviewDefault;
      seen.Language = r.Language;
      seen.Font = r.Font;
      if (r.OnProgress) r.OnProgress(r.Proc, 50);
      return false;
    };
    EXPECT_FALSE(t.proc.ShowPreviews(c.set));
    EXPECT_EQ(seen.Pages, c.set);
    std::vector<P> shown;
    for (int p = ppContrast; p <= ppFFT; ++p)
      if (PreviewPageShown(seen.Pages, P(p))) shown.push_back(P(p));
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(seen.Proc, &t.proc);
    EXPECT_TRUE(seen.LockPreviewDefault);
    EXPECT_EQ(seen.Language, msItalian);
    EXPECT_EQ(seen.Font.Height, -13);
    EXPECT_EQ(progressCalls, 1);
  }
  EXPECT_EQ(PreviewPageSet({ppContrast, ppHSV, ppHSL, ppRGB}), 30);
  EXPECT_EQ(PreviewPageSet({ppUserFilter, ppBumpMap, ppRotate}), 2208);
}

TEST(VeloraProc, OnPreviewGetsTheDialogFromTheLauncher) {
  TProcOnView t;
  TVLObject form;
  TVLObject* sender = nullptr;
  TVLObject* got = nullptr;
  t.proc.OnPreview = [&](TVLObject* s, TVLObject* f) { sender = s, got = f; };
  t.proc.PreviewLauncher = [&](TPreviewRequest& r) {
    r.Proc->NotifyPreview(&form);
    return false;
  };
  t.proc.ShowPreviews(30);
  EXPECT_EQ(sender, &t.proc);
  EXPECT_EQ(got, &form);
}

TEST(VeloraProc, CancelLeavesEverythingOkAppliesWithOneCaptionedCopy) {
  struct Case {
    bool ok;
    bool autoUndo;
    int entries;
  } cases[] = {{false, true, 0}, {true, true, 1}, {true, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ok << c.autoUndo);
    TProcOnView t;
    t.proc.AutoUndo = c.autoUndo;
    t.dialog.ok = c.ok;
    TBitmap original;
    original.Assign(t.view.Bitmap);
    EXPECT_EQ(t.proc.ShowPreviews(30), c.ok);
    EXPECT_EQ(t.dialog.sourceWidth, 6);
    EXPECT_EQ(t.dialog.sourceHeight, 5);
    EXPECT_EQ(t.proc.UndoCount(), c.entries);
    if (c.entries) {
      EXPECT_EQ(t.proc.UndoCaptions().back(), "Previews");
      t.proc.RestoreUndo();
      EXPECT_TRUE(SamePixels(t.view.Bitmap, original));
    } else if (!c.ok) {
      EXPECT_TRUE(SamePixels(t.view.Bitmap, original));
      EXPECT_TRUE(t.view.Calls.empty());
    } else {
      EXPECT_EQ(Pixel(t.view.Bitmap, 5, 4), MakeRGB(255, 255, 255));
      EXPECT_EQ(t.view.Calls, (std::vector<std::string>{"Update", "NotifyImageChanged"}));
    }
  }
}

TEST(VeloraProc, AResultOfAnotherSizeResizesTheImage) {
  TProcOnView t(6, 4);
  // A quarter turn: the dialog hands back 4 × 6.
  t.dialog.edit = [](TBitmap& b) {
    TBitmap turned(b.Height(), b.Width(), TPixelFormat::pf24bit);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) SetPixel(turned, y, b.Width() - 1 - x, Pixel(b, x, y));
    b.Assign(turned);
  };
  ASSERT_TRUE(t.proc.ShowPreviews(2208));
  ASSERT_EQ(t.view.Bitmap.Width(), 4);
  ASSERT_EQ(t.view.Bitmap.Height(), 6);
  EXPECT_EQ(Pixel(t.view.Bitmap, 0, 5), MakeRGB(0, 0, 7));
  EXPECT_EQ(Pixel(t.view.Bitmap, 3, 0), MakeRGB(5, 3, 7));
}

TEST(VeloraProc, ASelectionLimitsTheDialogAndTheResult) {
  TProcOnView t(8, 6);
  // An L of three pixels whose box is columns 2..4, rows 1..3.
  t.view.Select(8, 6, {{2, 1}, {2, 3}, {4, 3}});
  TBitmap original;
  original.Assign(t.view.Bitmap);
  ASSERT_TRUE(t.proc.ShowPreviews(30));
  EXPECT_EQ(t.dialog.sourceWidth, 3);
  EXPECT_EQ(t.dialog.sourceHeight, 3);
  EXPECT_EQ(t.dialog.firstSourcePixel, MakeRGB(2, 1, 7));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool selected = t.view.SelMask.IsSelected(x, y);
      EXPECT_EQ(Pixel(t.view.Bitmap, x, y), selected ? MakeRGB(255, 255, 255) : Pixel(original, x, y))
          << x << "," << y;
    }
  // The undo copy is of the whole image.
  EXPECT_EQ(t.proc.UndoCopy(0)->Width(), 8);
}

TEST(VeloraProc, SelectionAreaFollowsTheViewsSelection) {
  struct Case {
    const char* name;
    bool answers;
    bool selected;
    int maskW, maskH;
    std::initializer_list<TPoint> pixels;
    bool result;
    TRect area;
  } cases[] = {
      {"view without selections", false, true, 8, 6, {{1, 1}}, false, {0, 0, 8, 6}},
      {"nothing selected", true, false, 8, 6, {{1, 1}}, false, {0, 0, 8, 6}},
      {"selection with an empty mask", true, true, 8, 6, {}, true, {0, 0, 8, 6}},
      {"mask box", true, true, 8, 6, {{1, 2}, {3, 4}}, true, {1, 2, 4, 5}},
      // A mask left from a larger image: its box is clipped to this one.
      {"stale mask", true, true, 20, 20, {{6, 4}, {15, 15}}, true, {6, 4, 8, 6}},
      {"stale mask outside", true, true, 20, 20, {{12, 12}}, true, {8, 6, 8, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TProcOnView t(8, 6);
    t.view.AnswersSelection = c.answers;
    t.view.Select(c.maskW, c.maskH, c.pixels);
    t.view.Selected = c.selected;
    TVLSelectionArea a;
    EXPECT_EQ(t.proc.GetSelectionArea(a), c.result);
    EXPECT_EQ(a.HasSelection, c.result);
    EXPECT_EQ((TRect{a.X0, a.Y0, a.X1, a.Y1}), c.area);
    if (c.result) {
      EXPECT_EQ(a.PointCount, 3);
    }
  }
  // A bare bitmap has no selection: the whole of it.
  TBitmap bare(3, 2, TPixelFormat::pf24bit);
  TVeloraProc p;
  p.AttachBitmap(&bare);
  TVLSelectionArea a;
  EXPECT_FALSE(p.GetSelectionArea(a));
  EXPECT_EQ((TRect{a.X0, a.Y0, a.X1, a.Y1}), (TRect{0, 0, 3, 2}));
}

TEST(VeloraProc, ASelectionWhollyOutsideTheImageRefuses) {
  TProcOnView t(8, 6);
  t.view.Select(20, 20, {{12, 12}});
  EXPECT_FALSE(t.proc.ShowPreviews(30));
  EXPECT_EQ(t.dialog.calls, 0);
  EXPECT_EQ(t.view.CanvasLocks, 0);
}

TEST(VeloraProc, AStaleSelectionOnlyChangesPixelsInsideTheImage) {
  TProcOnView t(8, 6);
  t.view.Select(20, 20, {{7, 5}, {7, 10}, {12, 5}});
  ASSERT_TRUE(t.proc.ShowPreviews(30));
  EXPECT_EQ(t.dialog.sourceWidth, 1);
  EXPECT_EQ(t.dialog.sourceHeight, 1);
  EXPECT_EQ(Pixel(t.view.Bitmap, 7, 5), MakeRGB(255, 255, 255));
  EXPECT_EQ(Pixel(t.view.Bitmap, 6, 5), MakeRGB(6, 5, 7));
}

// The component's histogram and frequency-domain transfers run the library's routines on its
// target and tell the target it changed.
TEST(VeloraProc, HistogramAndTransfersWorkOnTheTarget) {
  TBitmap b(8, 6, TPixelFormat::pf24bit);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = 10, p[1] = 20, p[2] = uint8_t(x);
    }
  TVeloraProc proc;
  proc.AttachBitmap(&b);
  THistogram h{};
  proc.ComputeHistogram(h);
  EXPECT_EQ(h[3].Red, 6u);     // one column of six pixels has red 3
  EXPECT_EQ(h[20].Green, 48u);
  EXPECT_EQ(h[10].Blue, 48u);

  TVLFtImage ft;
  ft.BuildFromBitmap(b, 1);
  TBitmap out;
  TVeloraProc target;
  target.AttachBitmap(&out);
  int modified = 0;
  out.AddChangeHandler([&] { ++modified; });
  target.WriteFtSpectrum(ft);
  EXPECT_EQ(out.Width(), 8);  // the square of the transform
  EXPECT_EQ(out.Height(), 8);
  target.WriteFtInverse(ft);
  EXPECT_EQ(out.Width(), 8);  // back at the source's size
  EXPECT_EQ(out.Height(), 6);
  EXPECT_GE(modified, 2);
}
