// The window with the culling commands, offscreen: the list in natural order, delete and
// Ctrl+Z, rename, move away, another order, a file given on the command line selected,
// another folder opened, and where "Open" and "Sort" sit in the tool bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <QStatusBar>
#include <QToolBar>

#include <filesystem>
#include <string>

#include "image_viewer_form.h"
#include "io/velora_io.h"
#include "mview/velora_mview.h"

using namespace velora;
namespace fs = std::filesystem;

namespace {

void WritePicture(const std::string& path, int w, int h) {
  TBitmap b;
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = uint8_t(x * 7 + y * 13);  // sizes differ with the area
  TVeloraIO io;
  io.AttachBitmap(&b);
  io.SaveToFile(path);
}

struct TFolder {
  std::string dir = ::testing::TempDir() + "tessel_culling_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name();
  TFolder() {
    fs::remove_all(dir);
    fs::create_directories(dir + "/pics");
    fs::create_directories(dir + "/other");
    WritePicture(dir + "/pics/img10.bmp", 30, 30);
    WritePicture(dir + "/pics/img2.bmp", 10, 10);
    WritePicture(dir + "/pics/IMG1.bmp", 20, 20);
  }
  ~TFolder() { fs::remove_all(dir); }
  std::string Pics() const { return dir + "/pics"; }
};

struct TWindow {
  TfrmImageViewer form;
  explicit TWindow(const std::string& folder, const std::string& select = "") : form(folder, "*.*") {
    form.Culling().SetSort(TSortOrder::soName, false);  // settings of an earlier test aside
    form.Culling().SetConfirmDelete(false);
    if (!select.empty()) form.SelectWhenListed(select);
    form.resize(700, 500);
    form.show();
    form.FormActivate();
    Settle();
  }
  void Settle() { EXPECT_TRUE(QTest::qWaitFor([this] { return !form.Busy(); }, 60000)); }
  TVeloraMView& m() { return *form.VeloraMView1; }
  std::string Names() {
    std::string names;
    for (int i = 0; i < m().ImageCount(); ++i)
      names += m().ImageTopText(i)->Caption() + ":" + m().ImageBottomText(i)->Caption() + " ";
    return names;
  }
  std::string Selected() { return m().SelectedImage() < 0 ? "" : m().ImageBottomText(m().SelectedImage())->Caption(); }
  void Select(int i) {
    m().SetSelectedImage(i);
    Settle();
  }
};

TEST(ViewerCulling, DeleteUndoRenameAndMove) {
  TFolder f;
  TWindow w(f.Pics());
  EXPECT_EQ(w.Names(), "1:IMG1.bmp 2:img2.bmp 3:img10.bmp ") << "natural order";
  w.Select(1);

  QTest::keyClick(w.form.VeloraMView1, Qt::Key_Delete);
  w.Settle();
  EXPECT_FALSE(fs::exists(f.Pics() + "/img2.bmp"));
  EXPECT_EQ(w.Names(), "1:IMG1.bmp 2:img10.bmp ");
  EXPECT_EQ(w.Selected(), "img10.bmp") << "the next one";
  EXPECT_TRUE(w.form.statusBar()->currentMessage().contains("trash")) << w.form.statusBar()->currentMessage().toStdString();

  QTest::keyClick(w.form.VeloraMView1, Qt::Key_Z, Qt::ControlModifier);
  w.Settle();
  EXPECT_TRUE(fs::exists(f.Pics() + "/img2.bmp"));
  EXPECT_EQ(w.Names(), "1:IMG1.bmp 2:img2.bmp 3:img10.bmp ");
  EXPECT_EQ(w.Selected(), "img2.bmp");

  w.form.Culling().AskName = [](QString& name) {
    name = "img30.bmp";
    return true;
  };
  QTest::keyClick(w.form.VeloraMView1, Qt::Key_F2);
  w.Settle();
  EXPECT_EQ(w.Names(), "1:IMG1.bmp 2:img10.bmp 3:img30.bmp ") << "the captions follow the new positions";
  EXPECT_EQ(w.Selected(), "img30.bmp");
  EXPECT_EQ(w.form.ShownIndex(), 2);

  ASSERT_TRUE(w.form.Culling().TransferCurrent(true, QString::fromStdString(f.dir + "/other")));
  w.Settle();
  EXPECT_TRUE(fs::exists(f.dir + "/other/img30.bmp"));
  EXPECT_EQ(w.Names(), "1:IMG1.bmp 2:img10.bmp ");
}

TEST(ViewerCulling, AnotherOrderKeepsTheSelection) {
  TFolder f;
  TWindow w(f.Pics());
  w.Select(0);
  w.form.Culling().SetSort(TSortOrder::soSize, false);
  w.Settle();
  EXPECT_EQ(w.Names(), "1:img2.bmp 2:IMG1.bmp 3:img10.bmp ");
  EXPECT_EQ(w.Selected(), "IMG1.bmp");
  w.form.Culling().SetSort(TSortOrder::soSize, true);
  w.Settle();
  EXPECT_EQ(w.Names(), "1:img10.bmp 2:IMG1.bmp 3:img2.bmp ");
  EXPECT_EQ(w.Selected(), "IMG1.bmp");
  // Remembered: the next window starts in this order.
  TfrmImageViewer next(f.Pics(), "*.*");
  EXPECT_EQ(next.SortOrder(), TSortOrder::soSize);
  EXPECT_TRUE(next.SortReversed());
}

TEST(ViewerCulling, AGivenFileIsSelectedAndAnotherFolderOpens) {
  TFolder f;
  TWindow w(f.Pics(), "img10.bmp");
  EXPECT_EQ(w.Selected(), "img10.bmp");
  EXPECT_EQ(w.form.ShownIndex(), 2);

  WritePicture(f.dir + "/other/x.bmp", 5, 5);
  w.form.OpenFolder(f.dir + "/other");
  w.Settle();
  EXPECT_EQ(w.Names(), "1:x.bmp ");
  EXPECT_EQ(w.form.windowTitle().toStdString(), "Tessel Image Viewer [" + f.dir + "/other/*.*]");

  QStringList bar;
  for (QAction* a : w.form.tbMain->actions()) bar << a->objectName();
  EXPECT_EQ(bar, QStringList({"tbtnExit", "tbtnOpen", "tbtnSort"}));
}

TEST(ViewerCulling, SeveralFilesGivenAreListedAsGiven) {
  TFolder f;
  TfrmImageViewer form(f.Pics(), "*.*");
  form.ListOnly({"img10.bmp", "IMG1.bmp"});
  form.show();
  form.FormActivate();
  ASSERT_TRUE(QTest::qWaitFor([&form] { return !form.Busy(); }, 60000));
  ASSERT_EQ(form.VeloraMView1->ImageCount(), 2);
  EXPECT_EQ(form.VeloraMView1->ImageBottomText(0)->Caption(), "img10.bmp");
  EXPECT_EQ(form.VeloraMView1->ImageBottomText(1)->Caption(), "IMG1.bmp");
}

}  // namespace
