// The viewer's window end to end, offscreen: the caption, the scanned column, the first image
// loaded and fitted, keys moving the selection, the zoom and reload commands, the zoom filters,
// a file that vanished, and the usage message.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "image_viewer_form.h"
#include "io/folder_scan.h"
#include "viewer_texts.h"
#include "io/velora_io.h"
#include "mview/velora_mview.h"
#include "tessel_application.h"
#include "view/qt/velora_view.h"

using namespace velora;
namespace fs = std::filesystem;

namespace {

void WriteImage(const std::string& path, int w, int h, TRGB colour) {
  TBitmap b;
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = colour;
  TVeloraIO io;
  io.AttachBitmap(&b);
  io.Params().JpegQuality = 90;
  io.SaveToFile(path);
  ASSERT_FALSE(io.Aborting) << path;
}

// A folder with two JPEGs, a PNG, a text file and a subfolder.
struct Fixture {
  std::string dir;
  Fixture() {
    // One folder per test: ctest runs the tests of this file side by side.
    dir = ::testing::TempDir() + "tessel_viewer_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir + "/sub");
    WriteImage(dir + "/a-photo.jpg", 800, 600, TRGB{40, 80, 160});
    WriteImage(dir + "/b-wide.png", 1200, 300, TRGB{0, 200, 0});
    WriteImage(dir + "/c-small.jpg", 64, 48, TRGB{200, 50, 50});
    std::ofstream(dir + "/notes.txt") << "not an image\n";
  }
  ~Fixture() { fs::remove_all(dir); }
};

struct Window {
  TfrmImageViewer form;
  explicit Window(const std::string& dir) : form(dir, "*.*") {
    form.resize(700, 500);
    form.show();
    form.FormActivate();
  }
  TVeloraView& view() { return *form.VeloraView1; }
  TVeloraMView& mview() { return *form.VeloraMView1; }
};

}  // namespace

TEST(Viewer, ScansTheFolderAndShowsTheFirstImageFitted) {
  Fixture fx;
  Window w(fx.dir);
  EXPECT_EQ(w.form.windowTitle().toStdString(), "Tessel Image Viewer [" + fx.dir + "/*.*]");
  ASSERT_EQ(w.mview().ImageCount(), 3);  // the text file and the subfolder are left out
  EXPECT_EQ(w.mview().ImageTopText(0)->Caption(), "1");
  EXPECT_EQ(w.mview().ImageBottomText(0)->Caption(), "a-photo.jpg");
  EXPECT_EQ(w.mview().ImageInfoText(0)->Caption(), "800x600x24b");
  EXPECT_EQ(w.mview().ImageBottomText(0)->Background, TColor(15724496));
  EXPECT_EQ(w.mview().ImageTopText(2)->Caption(), "3");
  EXPECT_EQ(w.mview().SelectedImage(), 0);
  EXPECT_EQ(w.form.CurrentIndex(), 0);
  ASSERT_NE(w.view().GetBitmap(), nullptr);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 800);
  EXPECT_LT(w.view().Zoom(), 100);  // fitted into a window smaller than the picture
  EXPECT_TRUE(w.form.Activated());
  w.form.FormActivate();  // a second activation scans nothing again
  EXPECT_EQ(w.mview().ImageCount(), 3);
}

TEST(Viewer, ArrowKeysSelectAndLoad) {
  Fixture fx;
  Window w(fx.dir);
  w.mview().setFocus();
  QTest::keyClick(&w.mview(), Qt::Key_Down);
  EXPECT_EQ(w.form.CurrentIndex(), 1);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 1200);
  QTest::keyClick(&w.mview(), Qt::Key_Down);
  EXPECT_EQ(w.view().GetBitmap()->Width(), 64);
  double fitted = w.view().Zoom();
  w.view().SetZoom(300);
  QTest::keyClick(&w.mview(), Qt::Key_Down);  // the last entry stays selected, and fits again
  EXPECT_EQ(w.form.CurrentIndex(), 2);
  EXPECT_DOUBLE_EQ(w.view().Zoom(), fitted);
}

TEST(Viewer, ZoomCommandsReloadAndFilters) {
  Fixture fx;
  Window w(fx.dir);
  double fitted = w.view().Zoom();
  w.form.tbtnZoomX1->trigger();
  EXPECT_DOUBLE_EQ(w.view().Zoom(), 100);
  w.form.tbtnZoomXFit->trigger();
  EXPECT_DOUBLE_EQ(w.view().Zoom(), fitted);

  // Reload shows the changed file at the current zoom, with the file name as hint.
  w.form.tbtnZoomX1->trigger();
  WriteImage(fx.dir + "/a-photo.jpg", 400, 300, TRGB{255, 255, 255});
  w.form.tbtnReloadImage->trigger();
  EXPECT_EQ(w.view().GetBitmap()->Width(), 400);
  EXPECT_DOUBLE_EQ(w.view().Zoom(), 100);
  EXPECT_EQ(w.view().toolTip().toStdString(), fx.dir + "/a-photo.jpg");

  // The filters change the drawing only.
  EXPECT_TRUE(w.form.tbtnZoomFilterNone->isChecked());
  std::vector<uint8_t> before(w.view().GetBitmap()->Bits(), w.view().GetBitmap()->Bits() + w.view().GetBitmap()->ImageSize());
  w.form.tbtnZoomFilterLanczos3->trigger();
  EXPECT_EQ(w.view().ZoomFilter(), rfLanczos3);
  EXPECT_FALSE(w.form.tbtnZoomFilterNone->isChecked());
  w.view().grab();
  std::vector<uint8_t> after(w.view().GetBitmap()->Bits(), w.view().GetBitmap()->Bits() + w.view().GetBitmap()->ImageSize());
  EXPECT_EQ(before, after);
  EXPECT_FALSE(w.form.tbtnColorAdjust->isEnabled());
  EXPECT_FALSE(w.form.tbtnEffect->isEnabled());
}

TEST(Viewer, AVanishedFileShowsTheMessageAndKeepsThePicture) {
  Fixture fx;
  Window w(fx.dir);
  fs::remove(fx.dir + "/b-wide.png");
  std::string shown;
  auto saved = TesselApplication::ShowException;
  TesselApplication::ShowException = [&](const std::string& m) { shown = m; };
  w.mview().setFocus();
  QTest::keyClick(&w.mview(), Qt::Key_Down);  // the exception leaves the key handler
  TesselApplication::ShowException = saved;
  EXPECT_EQ(shown, "Cannot open file " + fx.dir + "/b-wide.png");
  EXPECT_EQ(w.view().GetBitmap()->Width(), 800);  // the previous image stays
}

TEST(Viewer, EmptyFolderShowsNothing) {
  std::string dir = ::testing::TempDir() + "tessel_viewer_empty";
  fs::create_directories(dir);
  Window w(dir);
  EXPECT_EQ(w.mview().ImageCount(), 0);
  EXPECT_EQ(w.form.CurrentIndex(), -1);
  fs::remove_all(dir);
}

TEST(Viewer, UsageMessageWithOneArgumentEndsWithZero) {
  std::string viewer = std::string(VELORA_BINARY_DIR) + "/TesselImageViewer";
  if (!fs::exists(viewer)) GTEST_SKIP() << "viewer not built";
  std::string shot = ::testing::TempDir() + "tessel_usage.png";
  std::string cmd = "QT_QPA_PLATFORM=offscreen TESSEL_SCREENSHOT=" + shot + " " + viewer + " /tmp >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(fs::exists(shot));  // the message box was shown (and captured)
  fs::remove(shot);
  EXPECT_NE(std::string(kViewerUsageText).find("Incorrect number of parameters !\n\nUsage: TesselImageViewer <Folder> <FileMask>\n"),
            std::string::npos);
}
