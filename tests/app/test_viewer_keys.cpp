// The viewer's everyday use, offscreen: what a trial found mended (not on top, keys after a
// click on the picture, transparency over the checkerboard in the view and the column, a
// file's background for its own picture only, a missing folder said plainly), every key of
// the key table, the wheel's two behaviours, the status line, full screen and the slideshow,
// and the settings kept between runs.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QWheelEvent>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>

#include "codecs/formats.h"
#include "image_viewer_form.h"
#include "io/velora_io.h"
#include "mview/velora_mview.h"
#include "view/qt/velora_view.h"
#include "view/qt/vl_draw.h"
#include "viewer_texts.h"

using namespace velora;
namespace fs = std::filesystem;

namespace {

void WriteImage(const std::string& path, int w, int h, TRGB colour, TVLMask* alpha = nullptr,
                std::function<void(TIOParamsVals&)> params = {}) {
  TBitmap b;
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = colour;
  TVeloraIO io;
  io.AttachBitmap(&b);
  if (alpha) io.SetAlphaMask(alpha);
  io.Params().JpegQuality = 90;
  if (params) params(io.Params());
  io.SaveToFile(path);
  ASSERT_FALSE(io.Aborting) << path;
}

// One folder per test (ctest runs them side by side), removed after it.
struct Folder {
  std::string dir;
  Folder() {
    dir = ::testing::TempDir() + "tessel_keys_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~Folder() { fs::remove_all(dir); }
  std::string operator/(const std::string& name) const { return dir + "/" + name; }
};

// Four pictures, a text file, an empty "photo" and a subfolder.
struct Fixture : Folder {
  Fixture() {
    WriteImage(*this / "a-photo.jpg", 800, 600, TRGB{160, 80, 40});
    WriteImage(*this / "b-wide.png", 1200, 300, TRGB{0, 200, 0});
    WriteImage(*this / "c-small.jpg", 64, 48, TRGB{50, 50, 200});
    WriteImage(*this / "d-square.jpg", 300, 300, TRGB{90, 90, 90});
    std::ofstream(*this / "notes.txt") << "not an image\n";
    std::ofstream(*this / "empty.jpg");
    fs::create_directories(*this / "sub");
  }
};

// The settings the viewer keeps, as a test wants them; cleared again after it.
struct KeptSettings {
  QSettings store{"Tessel", "TesselImageViewer"};
  KeptSettings() { store.clear(); }
  ~KeptSettings() { store.clear(); }
  void Set(const char* key, const QVariant& value) {
    store.setValue(key, value);
    store.sync();
  }
};

struct Window {
  TfrmImageViewer form;
  explicit Window(const std::string& dir) : form(dir, "*.*") {
    form.resize(700, 500);
    form.show();
    form.activateWindow();
    (void)QTest::qWaitForWindowActive(&form, 5000);
    form.FormActivate();
    Settle();
  }
  TVeloraView& view() { return *form.VeloraView1; }
  TVeloraMView& mview() { return *form.VeloraMView1; }
  void Settle() {
    EXPECT_TRUE(QTest::qWaitFor([this] { return !form.Busy(); }, 60000));
  }
  // A key as the user presses it: to whatever has the window's focus now.
  void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
    QWidget* target = form.focusWidget();
    if (!target || !target->isVisible()) target = &form;
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(target, &release);
    Settle();
  }
  void ClickPicture() {
    QTest::mouseClick(&view(), Qt::LeftButton, Qt::NoModifier, QPoint(view().width() / 2, view().height() / 2));
    Settle();
  }
  QRgb ShownPixel(int bx, int by) {
    const QImage shot = view().grab().toImage();
    return shot.pixel(view().BitmapToClientX(bx), view().BitmapToClientY(by));
  }
};

void Wheel(QWidget* w, int delta, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

// How far two colour channels may differ after blending and JPEG.
constexpr int kNear = 12;
bool Near(int a, int b) { return std::abs(a - b) <= kNear; }

}  // namespace

// ---- what the trial found ---------------------------------------------------------------------

TEST(ViewerMends, NotOnTopUnlessTheSettingSaysSo) {
  Folder fx;
  KeptSettings settings;
  {
    TfrmImageViewer form(fx.dir, "*.*");
    EXPECT_FALSE(form.StayOnTop());
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  }
  settings.Set("Window/StayOnTop", true);
  TfrmImageViewer form(fx.dir, "*.*");
  EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  form.SetStayOnTop(false);
  EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

// A click on the picture or a tool button used to leave the arrow keys with nobody.
TEST(ViewerMends, KeysWorkWhereverTheLastClickWas) {
  Fixture fx;
  Window w(fx.dir);
  ASSERT_EQ(w.form.CurrentIndex(), 0);
  w.ClickPicture();
  EXPECT_EQ(w.form.focusWidget(), &w.view());  // the click took the focus to the picture
  w.Press(Qt::Key_Down);
  EXPECT_EQ(w.form.CurrentIndex(), 1);
  w.Press(Qt::Key_Space);
  EXPECT_EQ(w.form.CurrentIndex(), 2);
  QWidget* button = w.form.tbImageControl->widgetForAction(w.form.tbtnZoomX1);
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  w.Settle();
  w.Press(Qt::Key_Up);
  EXPECT_EQ(w.form.CurrentIndex(), 1);
  QTest::mouseClick(&w.mview(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));  // the first cell
  w.Settle();
  w.Press(Qt::Key_End);
  EXPECT_EQ(w.form.CurrentIndex(), 3);
}

// A picture with alpha: transparent parts over the checkerboard, half-transparent ones
// blended, in the view and in the column's thumbnail alike (read from the file, then from the
// desktop's thumbnail cache, which keeps the alpha).
TEST(ViewerMends, TransparencyShowsTheCheckerboardInViewAndColumn) {
  Folder fx;
  TVLMask alpha;
  alpha.Allocate(64, 64, 8);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) alpha.ScanLine(y)[x] = x < 32 ? 0 : 128;  // left clear, right half
  alpha.UpdateBoxFromPixels();
  WriteImage(fx / "glass.png", 64, 64, TRGB{255, 0, 0}, &alpha);  // blue
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run == 0 ? "read from the file" : "from the thumbnail cache");
    Window w(fx.dir);
    w.form.tbtnZoomX1->trigger();
    w.Settle();
    const int cx = w.view().BitmapToClientX(4), cy = w.view().BitmapToClientY(4);
    const TRGB under = CheckerColour(cx, cy);
    const QRgb clear = w.ShownPixel(4, 4);
    EXPECT_EQ(qRed(clear), under.r);
    EXPECT_EQ(qBlue(clear), under.b);
    const TRGB under2 = CheckerColour(w.view().BitmapToClientX(40), w.view().BitmapToClientY(40));
    const QRgb half = w.ShownPixel(40, 40);
    EXPECT_TRUE(Near(qRed(half), under2.r / 2)) << qRed(half);
    EXPECT_TRUE(Near(qBlue(half), (under2.b + 255) / 2)) << qBlue(half);
    // The thumbnail: 100 x 100 from 64 x 64, the left half clear, the right half blended.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.mview().HasStoredImage(0); }, 30000));
    TBitmap* thumb = w.mview().GetImageBitmap(0);
    ASSERT_NE(thumb, nullptr);
    const TRGB l = reinterpret_cast<const TRGB*>(thumb->ScanLine(2))[2];
    const TRGB r = reinterpret_cast<const TRGB*>(thumb->ScanLine(2))[90];
    EXPECT_EQ(l, CheckerColour(2, 2)) << int(l.r) << "," << int(l.g) << "," << int(l.b);
    EXPECT_TRUE(Near(r.r, CheckerColour(90, 2).r / 2)) << int(r.r);
    EXPECT_TRUE(Near(r.b, (CheckerColour(90, 2).b + 255) / 2)) << int(r.b);
    w.mview().ReleaseBitmap(thumb);
  }
}

// After a GIF with a white background, the margins of the next picture were white too.
TEST(ViewerMends, AFilesBackgroundIsForItsOwnPictureOnly) {
  Folder fx;
  VLInstallLzwCoders();
  WriteImage(fx / "a-banner.gif", 200, 50, TRGB{255, 255, 255},
             nullptr, [](TIOParamsVals& p) { p.GifBackground = TRGB{255, 255, 255}; });
  WriteImage(fx / "b-photo.jpg", 400, 300, TRGB{40, 80, 160});
  Window w(fx.dir);
  const TColor window = w.form.ViewBackground();
  ASSERT_NE(window, TColor(clWhite));
  EXPECT_EQ(ColorToRGB(w.view().Background()), (TRGB{255, 255, 255}));  // the GIF's own
  w.Press(Qt::Key_Down);
  ASSERT_EQ(w.form.ShownIndex(), 1);
  EXPECT_EQ(w.view().Background(), window);
  ASSERT_GT(w.view().CenterOffsetY(), 2);
  const TRGB face = ColorToRGB(window);
  EXPECT_EQ(QColor(w.view().grab().toImage().pixel(2, 2)), QColor(face.r, face.g, face.b));
}

TEST(ViewerMends, AMissingFolderIsSaidAndExitsWithTwo) {
  const std::string viewer = std::string(VELORA_BINARY_DIR) + "/TesselImageViewer";
  if (!fs::exists(viewer)) GTEST_SKIP() << "viewer not built";
  Folder fx;
  WriteImage(fx / "a.jpg", 8, 8, TRGB{1, 2, 3});
  const struct {
    std::string folder, says;
  } cases[] = {
      {fx / "gone", "The folder " + (fx / "gone") + " does not exist."},
      {fx / "a.jpg", fx / "a.jpg" + std::string(" is a file, not a folder.")},
  };
  for (const auto& c : cases) {
    const std::string err = fx / "stderr.txt", shot = fx / "box.png";
    const std::string cmd = "QT_QPA_PLATFORM=offscreen TESSEL_SCREENSHOT=" + shot + " " + viewer + " '" + c.folder +
                            "' '*.*' 2>" + err + " >/dev/null";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << c.folder;
    std::ifstream in(err);
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_TRUE(fs::exists(shot));  // the message box was shown too
    fs::remove(shot);
  }
  // --help: the usage and the keys, status 0, no window.
  const std::string out = fx / "help.txt";
  EXPECT_EQ(std::system((viewer + " --help >" + out).c_str()), 0);
  std::ifstream in(out);
  const std::string help((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(help, ViewerHelpText());
}

// ---- keys and mouse ------------------------------------------------------------------------

TEST(ViewerKeys, EveryKeyOfTheTable) {
  Fixture fx;
  Window w(fx.dir);
  TVeloraView& v = w.view();
  struct TCase {
    const char* what;
    int key;
    Qt::KeyboardModifiers mods;
    QString text;
    std::function<void()> before;
    std::function<void()> check;
  };
  double zoom = 0;
  int index = 0;
  std::vector<uint8_t> pixels;
  const auto bitmapBytes = [&] { return std::vector<uint8_t>(v.Bitmap().Bits(), v.Bitmap().Bits() + v.Bitmap().ImageSize()); };
  const auto at = [&](int idx) { return [&, idx] { w.mview().SetSelectedImage(idx); w.Settle(); }; };
  const auto noteZoom = [&] { v.SetZoom(50); zoom = v.Zoom(); };
  const TCase cases[] = {
      {"+ zooms in", Qt::Key_Plus, Qt::NoModifier, "+", noteZoom, [&] { EXPECT_DOUBLE_EQ(v.Zoom(), zoom * 1.25); }},
      {"+ on the keypad", Qt::Key_Plus, Qt::KeypadModifier, "+", noteZoom, [&] { EXPECT_DOUBLE_EQ(v.Zoom(), zoom * 1.25); }},
      {"- zooms out", Qt::Key_Minus, Qt::NoModifier, "-", noteZoom, [&] { EXPECT_DOUBLE_EQ(v.Zoom(), zoom * 0.8); }},
      {"0 is 1:1", Qt::Key_0, Qt::NoModifier, "0", noteZoom, [&] { EXPECT_DOUBLE_EQ(v.Zoom(), 100); }},
      {"1 is 1:1", Qt::Key_1, Qt::NoModifier, "1", noteZoom, [&] { EXPECT_DOUBLE_EQ(v.Zoom(), 100); }},
      {"Z fits", Qt::Key_Z, Qt::NoModifier, "z", noteZoom, [&] {
         EXPECT_TRUE(w.form.FitMode());
         EXPECT_NE(v.Zoom(), zoom);
       }},
      {"F goes full screen", Qt::Key_F, Qt::NoModifier, "f", {}, [&] { EXPECT_TRUE(w.form.FullScreen()); }},
      {"Escape leaves it", Qt::Key_Escape, Qt::NoModifier, {}, {}, [&] { EXPECT_FALSE(w.form.FullScreen()); }},
      {"F11 goes full screen", Qt::Key_F11, Qt::NoModifier, {}, {}, [&] { EXPECT_TRUE(w.form.FullScreen()); }},
      {"F11 again leaves it", Qt::Key_F11, Qt::NoModifier, {}, {}, [&] { EXPECT_FALSE(w.form.FullScreen()); }},
      {"S starts the slideshow", Qt::Key_S, Qt::NoModifier, "s", {}, [&] { EXPECT_TRUE(w.form.SlideshowRunning()); }},
      {"Escape ends it", Qt::Key_Escape, Qt::NoModifier, {}, {}, [&] {
         EXPECT_FALSE(w.form.InSlideshow());
         EXPECT_FALSE(w.form.FullScreen());
       }},
      {"] turns right", Qt::Key_BracketRight, Qt::NoModifier, "]", at(0), [&] {
         EXPECT_EQ(v.Bitmap().Width(), 600);
         EXPECT_EQ(v.Bitmap().Height(), 800);
       }},
      {"[ turns back", Qt::Key_BracketLeft, Qt::NoModifier, "[", {}, [&] { EXPECT_EQ(v.Bitmap().Width(), 800); }},
      {"Ctrl+Z undoes the last change", Qt::Key_Z, Qt::ControlModifier, {},
       [&] {
         // What "CA" leaves when OK is pressed: an undo copy, then the changed picture.
         pixels = bitmapBytes();
         v.GetProc().PushUndoCaptioned("Previews");
         std::fill(v.Bitmap().Bits(), v.Bitmap().Bits() + 300, uint8_t(7));
       },
       [&] {
         EXPECT_EQ(bitmapBytes(), pixels);
         EXPECT_EQ(v.GetProc().UndoCount(), 0);
       }},
      {"Space: the next picture", Qt::Key_Space, Qt::NoModifier, " ", at(1), [&] { EXPECT_EQ(w.form.ShownIndex(), 2); }},
      {"Backspace: the previous", Qt::Key_Backspace, Qt::NoModifier, {}, {}, [&] { EXPECT_EQ(w.form.ShownIndex(), 1); }},
      {"End: the last", Qt::Key_End, Qt::NoModifier, {}, {}, [&] { EXPECT_EQ(w.form.ShownIndex(), 3); }},
      {"Home: the first", Qt::Key_Home, Qt::NoModifier, {}, {}, [&] { EXPECT_EQ(w.form.ShownIndex(), 0); }},
      {"F1 lists the keys", Qt::Key_F1, Qt::NoModifier, {}, {}, [&] {
         ASSERT_NE(w.form.KeyListBox(), nullptr);
         EXPECT_TRUE(w.form.KeyListBox()->isVisible());
         EXPECT_NE(w.form.KeyListBox()->text().toStdString().find(ViewerKeyList()), std::string::npos);
         w.form.KeyListBox()->close();
       }},
      {"? lists them too", Qt::Key_Question, Qt::ShiftModifier, "?", {}, [&] {
         ASSERT_NE(w.form.KeyListBox(), nullptr);
         EXPECT_TRUE(w.form.KeyListBox()->isVisible());
         w.form.KeyListBox()->close();
       }},
  };
  (void)index;
  // Each key from the column, then again after a click on the picture.
  for (bool afterClick : {false, true}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (afterClick ? ", after a click on the picture" : ", in the column"));
      if (afterClick) w.ClickPicture(); else w.mview().setFocus();
      if (c.before) c.before();
      w.Press(c.key, c.mods, c.text);
      c.check();
    }
  }
  // Every bound action is in the key list the user sees.
  for (QAction* a : w.form.findChildren<QAction*>())
    for (const QKeySequence& k : w.form.Keys().KeysOf(a)) {
      const std::string name = k.toString().toStdString();
      bool listed = false;
      for (int i = 0; i < kViewerKeyCount; ++i) {
        const std::string keys = std::string(kViewerKeys[i].Keys) + ",";
        listed |= keys.find(name + ",") != std::string::npos;
      }
      EXPECT_TRUE(listed) << name << " (" << a->objectName().toStdString() << ") is not in the key list";
    }
}

TEST(ViewerKeys, TheWheelZoomsByDesignAndBrowsesAsASetting) {
  Fixture fx;
  Window w(fx.dir);
  const double fitted = w.view().Zoom();
  Wheel(&w.view(), 120);
  w.Settle();
  EXPECT_NE(w.view().Zoom(), fitted);
  EXPECT_EQ(w.form.CurrentIndex(), 0);
  w.form.SetWheelChoice(TWheelChoice::Browse);
  Wheel(&w.view(), -120);
  w.Settle();
  EXPECT_EQ(w.form.ShownIndex(), 1);
  Wheel(&w.view(), 120);
  w.Settle();
  EXPECT_EQ(w.form.ShownIndex(), 0);
  // Ctrl+wheel zooms, keeping the pixel under the pointer where it is.
  w.form.tbtnZoomX1->trigger();
  const int cx = w.view().width() / 2, cy = w.view().height() / 2;
  const int bx = w.view().ClientToBitmapX(cx), by = w.view().ClientToBitmapY(cy);
  Wheel(&w.view(), 120, Qt::ControlModifier);
  w.Settle();
  EXPECT_DOUBLE_EQ(w.view().Zoom(), 125);
  EXPECT_EQ(w.form.ShownIndex(), 0);
  EXPECT_NEAR(w.view().ClientToBitmapX(cx), bx, 2);
  EXPECT_NEAR(w.view().ClientToBitmapY(cy), by, 2);
}

// ---- the status line ---------------------------------------------------------------------------

TEST(ViewerStatus, SaysWhatIsShownAndWhatIsNot) {
  Fixture fx;
  Window w(fx.dir);
  TStatusLine& line = w.form.StatusLine();
  const std::string text = line.Text().toStdString();
  const std::string size = TStatusLine::FileSizeText(int64_t(fs::file_size(fx / "a-photo.jpg"))).toStdString();
  EXPECT_EQ(text, "a-photo.jpg  |  1 / 4  |  800 x 600, 24 bits  |  " + size + "  |  " +
                      std::to_string(std::lround(w.view().Zoom())) + " %  |  2 files not shown");
  w.form.tbtnZoomX1->trigger();
  EXPECT_NE(line.Text().indexOf("  |  100 %"), -1);
  w.Press(Qt::Key_End);
  EXPECT_NE(line.Text().indexOf("d-square.jpg  |  4 / 4  |  300 x 300, 24 bits"), -1);
  // A failure is said there too.
  fs::remove(fx / "c-small.jpg");
  w.form.SetWatchFolder(false);
  w.Press(Qt::Key_Up);
  EXPECT_NE(line.Text().indexOf("c-small.jpg  |  3 / 4"), -1);
  EXPECT_NE(line.Text().indexOf("Cannot open file " + QString::fromStdString(fx / "c-small.jpg")), -1);
  EXPECT_EQ(line.Text().indexOf(" x "), -1);  // no size for what is not shown
  // The files not shown, and why, on a click.
  QTest::mouseClick(line.NotShownLabel(), Qt::LeftButton);
  ASSERT_NE(w.form.NotShownBox(), nullptr);
  const std::string list = w.form.NotShownBox()->text().toStdString();
  EXPECT_NE(list.find("2 files of the folder are not shown"), std::string::npos) << list;
  EXPECT_NE(list.find("empty.jpg: empty file"), std::string::npos) << list;
  EXPECT_NE(list.find("notes.txt: not an image"), std::string::npos) << list;
  EXPECT_EQ(list.find("sub"), std::string::npos) << "a subfolder is no file left out";
  w.form.NotShownBox()->close();
}

TEST(ViewerStatus, ACaptionCutShortHasTheWholeNameAsItsToolTip) {
  Folder fx;
  const std::string longName = "a-very-long-file-name-that-no-thumbnail-cell-can-hold.jpg";
  WriteImage(fx / longName, 40, 30, TRGB{1, 2, 3});
  WriteImage(fx / "b.jpg", 40, 30, TRGB{1, 2, 3});
  Window w(fx.dir);
  TVeloraMView& m = w.mview();
  const auto cellPoint = [&](int i) { return QPoint(m.ImageX(i) - m.ViewX() + 50, m.ImageY(i) - m.ViewY() + 50); };
  EXPECT_EQ(m.ToolTipAt(cellPoint(0).x(), cellPoint(0).y()).toStdString(), longName);
  EXPECT_EQ(m.ToolTipAt(cellPoint(1).x(), cellPoint(1).y()), "");
}

// ---- full screen and slideshow ---------------------------------------------------------------

TEST(ViewerFullScreen, ThePictureAloneOnBlackFittedAndBack) {
  Fixture fx;
  Window w(fx.dir);
  w.form.tbtnZoomX1->trigger();
  const TColor window = w.view().Background();
  w.form.SetFullScreen(true);
  QApplication::processEvents();
  EXPECT_TRUE(w.form.isFullScreen());
  EXPECT_TRUE(w.mview().isHidden());
  EXPECT_TRUE(w.form.tbMain->isHidden());
  EXPECT_TRUE(w.form.tbImageControl->isHidden());
  EXPECT_TRUE(w.form.statusBar()->isHidden());
  EXPECT_EQ(w.view().Background(), TColor(clBlack));
  EXPECT_TRUE(w.form.FitMode());
  // A new picture in full screen: black margins, fitted.
  w.Press(Qt::Key_Space);
  EXPECT_EQ(w.view().Background(), TColor(clBlack));
  EXPECT_TRUE(w.form.FitMode());
  ASSERT_GT(w.view().CenterOffsetY(), 2);  // the wide PNG leaves margins
  EXPECT_EQ(QColor(w.view().grab().toImage().pixel(2, 2)), QColor(Qt::black));
  w.Press(Qt::Key_Escape);
  EXPECT_FALSE(w.form.FullScreen());
  EXPECT_FALSE(w.mview().isHidden());
  EXPECT_FALSE(w.form.statusBar()->isHidden());
  EXPECT_EQ(w.view().Background(), window);
  EXPECT_FALSE(w.form.FitMode());  // 1:1 before full screen stays 1:1 after it
}

TEST(ViewerFullScreen, TheSlideshowStepsWithATransitionPausesAndEnds) {
  Fixture fx;
  KeptSettings settings;
  settings.Set("Slideshow/IntervalMs", 700);
  settings.Set("Slideshow/Transition", "CrossDissolve");
  Window w(fx.dir);
  EXPECT_EQ(w.form.SlideshowTimer().interval(), 700);
  EXPECT_EQ(w.form.SlideshowTransition(), vlttCrossDissolve);
  w.Press(Qt::Key_S);
  ASSERT_TRUE(w.form.SlideshowRunning());
  EXPECT_TRUE(w.form.FullScreen());
  // The window takes the screen (a resize the platform may deliver later).
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.form.isFullScreen() && w.view().width() > 700; }, 30000));
  // The next picture was read ahead: the step shows it at once, the transition running.
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.form.ReadAhead().Contains(fx / "b-wide.png"); }, 30000));
  w.form.SlideshowStep();
  EXPECT_EQ(w.form.CurrentIndex(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.form.ShownIndex() == 1; }, 30000));
  EXPECT_TRUE(w.view().Transition().Running() || w.view().Transition().FramesDrawn() > 0);
  // And on its own, at its interval.
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.form.ShownIndex() == 2; }, 30000));
  // Any key pauses; S goes on; Escape ends, full screen with it.
  w.Press(Qt::Key_X, Qt::NoModifier, "x");
  EXPECT_TRUE(w.form.InSlideshow());
  EXPECT_FALSE(w.form.SlideshowRunning());
  const int paused = w.form.CurrentIndex();
  QTest::qWait(900);
  EXPECT_EQ(w.form.CurrentIndex(), paused);
  w.Press(Qt::Key_S);
  EXPECT_TRUE(w.form.SlideshowRunning());
  w.Press(Qt::Key_Escape);
  EXPECT_FALSE(w.form.InSlideshow());
  EXPECT_FALSE(w.form.FullScreen());
  // From the last picture it starts again at the first.
  w.Press(Qt::Key_End);
  w.form.StartSlideshow();
  w.form.SlideshowStep();
  EXPECT_EQ(w.form.CurrentIndex(), 0);
  w.form.StopSlideshow();
}

// ---- settings kept -----------------------------------------------------------------------------

TEST(ViewerSettings, KeptWhenTheWindowClosesAndUsedAtTheNextStart) {
  Fixture fx;
  KeptSettings settings;
  {
    Window w(fx.dir);
    w.form.tbtnZoomFilterLanczos3->trigger();
    w.form.SetWheelChoice(TWheelChoice::Browse);
    w.form.close();
  }
  settings.store.sync();
  EXPECT_EQ(settings.store.value("View/ZoomFilter").toInt(), int(rfLanczos3));
  EXPECT_EQ(settings.store.value("View/Wheel").toString(), "browse");
  EXPECT_EQ(settings.store.value("Slideshow/IntervalMs").toInt(), 4000);
  EXPECT_EQ(settings.store.value("Slideshow/Transition").toString(), "random");
  EXPECT_FALSE(settings.store.value("Window/StayOnTop").toBool());
  EXPECT_FALSE(settings.store.value("Window/Geometry").toByteArray().isEmpty());
  EXPECT_GT(settings.store.value("Window/ColumnWidth").toInt(), 0);
  settings.Set("Window/ColumnWidth", 180);
  // The next start: the same choices; the folder and the mask are the command line's.
  Folder other;
  WriteImage(other / "x.jpg", 40, 30, TRGB{1, 2, 3});
  TfrmImageViewer form(other.dir, "x*");
  ShowViewerWindow(form);
  QApplication::processEvents();
  EXPECT_TRUE(form.tbtnZoomFilterLanczos3->isChecked());
  EXPECT_EQ(form.VeloraView1->ZoomFilter(), rfLanczos3);
  EXPECT_EQ(form.Settings().Wheel, TWheelChoice::Browse);
  EXPECT_EQ(form.VeloraMView1->width(), 180);
  EXPECT_EQ(form.Folder(), other.dir);
  EXPECT_EQ(form.FileMask(), "x*");
}
