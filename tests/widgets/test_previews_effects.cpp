// The preview dialog's effects pages — user filter, bump map, lens, wave, morphological filters
// and rotation — reached through a view's processing component, driven with real events: what
// each page shows after its reset, how typed values are taken, the user filter's files, the
// mouse on the Result, and that the preview and OK apply the routines with the right values.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "previews_fixture.h"
#include "proc/filters.h"

using namespace velora;
using namespace velora::test;
namespace fs = std::filesystem;

namespace {

constexpr TPreviewPageSet kAllPages = 1;
constexpr int kLocked = 1u << prppDefaultLockPreview;

// The picture the Result shows before the page is applied: the Source's visible part.
void Unprocessed(TfPreviews& f, TBitmap& out) { EXPECT_TRUE(f.Velora1->DrawVisibleTo(out)); }

void ClickItem(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

// Answers the file dialog that the next step opens with `path` and checks its title and filter.
void AnswerFileDialog(const QString& path, const QString& title) {
  QTimer::singleShot(0, [path, title] {
    auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), title);
    EXPECT_EQ(d->nameFilters(), QStringList("Filter (*.flt)"));
    // Typed into the name box, as a user does; the dialog is shown again for every file.
    auto* name = d->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(path);
    QMetaObject::invokeMethod(d, "accept");
    if (d->isVisible()) d->reject();
  });
}

void PutInt32(std::vector<uint8_t>& bytes, int32_t v) {
  for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

std::vector<uint8_t> FilterFile(std::array<uint8_t, 3> head, const std::array<int32_t, 9>& kernel, int32_t divisor) {
  std::vector<uint8_t> bytes(head.begin(), head.end());
  for (int32_t k : kernel) PutInt32(bytes, k);
  PutInt32(bytes, divisor);
  return bytes;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string TempDir() {
  const std::string dir = ::testing::TempDir() + "velora_previews_" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

}  // namespace

TEST(PreviewEffects, PresetsAndTypedWeightsMakeTheKernel) {
  TDialogFixture fx;
  fx.proc().PreviewsParams = kLocked;
  fx.Run(2208, [](TfPreviews& f) {
    ASSERT_EQ(f.ActiveTag(), 4);
    TBitmap unprocessed, expected;
    Unprocessed(f, unprocessed);
    EXPECT_EQ(Pixels(f.Velora2->Bitmap()), Pixels(unprocessed));  // "None"
    EXPECT_EQ(f.ListBox1->currentRow(), 0);
    EXPECT_EQ(f.KernelBoxes[4]->text(), "1");
    EXPECT_EQ(f.Edit20->text(), "0");

    ClickItem(f.ListBox1, 1);  // Blur
    for (TUpDownEdit* box : f.KernelBoxes) EXPECT_EQ(box->text(), "1");
    EXPECT_EQ(f.Edit20->text(), "9");
    expected.Assign(unprocessed);
    ConvolveUserFilter(expected, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 9, 0, 0, expected.Width(), expected.Height());
    EXPECT_EQ(Pixels(f.Velora2->Bitmap()), Pixels(expected));

    // A weight goes to the place its box holds; a divisor that is not a number counts as 1.
    Type(f.KernelBoxes[2], "-3");
    Type(f.Edit20, "x");
    EXPECT_EQ(f.UserFilter, (TVLUserFilter{{1, 1, -3, 1, 1, 1, 1, 1, 1}, 1}));
    expected.Assign(unprocessed);
    ConvolveUserFilter(expected, {1, 1, -3, 1, 1, 1, 1, 1, 1}, 1, 0, 0, expected.Width(), expected.Height());
    EXPECT_EQ(Pixels(f.Velora2->Bitmap()), Pixels(expected));

    // A key on the list chooses too.
    f.ListBox1->setFocus();
    QTest::keyClick(f.ListBox1, Qt::Key_Down);
    EXPECT_EQ(f.UserFilter, VLUserFilterPresets()[2].Filter);  // Edges
    EXPECT_EQ(f.KernelBoxes[4]->text(), "-8");
  });
}

TEST(PreviewEffects, FilterFilesSaveAndLoadThroughTheFileDialogs) {
  const std::string dir = TempDir();
  const std::string saved = dir + "/none.flt", wide = dir + "/wide.flt", shortFile = dir + "/short.flt",
                    foreign = dir + "/foreign.flt";
  const std::array<int32_t, 9> wideKernel{500, -300, 0, 0, 2, 0, 0, 0, 100000};
  WriteFile(wide, FilterFile({1, 3, 3}, wideKernel, 7));
  std::vector<uint8_t> truncated = FilterFile({1, 3, 3}, {9, 9, 9, 9, 9, 9, 9, 9, 9}, 9);
  truncated.resize(40);
  WriteFile(shortFile, truncated);
  WriteFile(foreign, FilterFile({1, 5, 5}, {9, 9, 9, 9, 9, 9, 9, 9, 9}, 9));

  TDialogFixture fx;
  fx.proc().PreviewsParams = kLocked;
  fx.Run(2208, [&](TfPreviews& f) {
    AnswerFileDialog(QString::fromStdString(saved), "Save filter");
    QTest::mouseClick(f.Button5, Qt::LeftButton);
    EXPECT_EQ(ReadFile(saved), FilterFile({1, 3, 3}, {0, 0, 0, 0, 1, 0, 0, 0, 0}, 0));

    AnswerFileDialog(QString::fromStdString(wide), "Load filter");
    QTest::mouseClick(f.Button4, Qt::LeftButton);
    EXPECT_EQ(f.UserFilter, (TVLUserFilter{wideKernel, 7}));
    // The boxes show what the file holds, beyond what their arrows reach.
    EXPECT_EQ(f.KernelBoxes[0]->text(), "500");
    EXPECT_EQ(f.KernelBoxes[1]->text(), "-300");
    EXPECT_EQ(f.KernelBoxes[8]->text(), "100000");
    EXPECT_EQ(f.Edit20->text(), "7");
    TBitmap expected;
    Unprocessed(f, expected);
    ConvolveUserFilter(expected, wideKernel, 7, 0, 0, expected.Width(), expected.Height());
    EXPECT_EQ(Pixels(f.Velora2->Bitmap()), Pixels(expected));
    // The arrows step within −100..100.
    f.KernelBoxes[0]->stepBy(-1);
    EXPECT_EQ(f.KernelBoxes[0]->text(), "100");
    f.KernelBoxes[1]->stepBy(1);
    EXPECT_EQ(f.KernelBoxes[1]->text(), "-100");
    EXPECT_EQ(f.UserFilter.Kernel[1], -100);
    f.KernelBoxes[4]->stepBy(1);
    EXPECT_EQ(f.KernelBoxes[4]->text(), "3");

    // A short file and one of another kernel size keep the current kernel.
    const TVLUserFilter kept = f.UserFilter;
    for (const std::string& path : {shortFile, foreign}) {
      AnswerFileDialog(QString::fromStdString(path), "Load filter");
      QTest::mouseClick(f.Button4, Qt::LeftButton);
      EXPECT_EQ(f.UserFilter, kept) << path;
      EXPECT_EQ(f.KernelBoxes[0]->text(), "100") << path;
    }
  });
  fs::remove_all(dir);
}

TEST(PreviewEffects, TheLensShowsItsRefractionInTenthsAboveOne) {
  TDialogFixture fx(400, 300);
  fx.proc().PreviewsParams = kLocked;
  fx.Run(kAllPages, [](TfPreviews& f) {
    f.PageControl1->setCurrentIndex(7);
    ASSERT_EQ(f.ActiveTag(), 8);
    EXPECT_EQ(f.Edit31->text(), "7");
    EXPECT_DOUBLE_EQ(f.Refraction, 1.7);
    EXPECT_EQ(f.Edit27->value(), 200);
    EXPECT_EQ(f.Edit28->value(), 150);
    EXPECT_EQ(f.Edit29->value(), 200);
    EXPECT_EQ(f.Edit30->value(), 200);
    TBitmap unprocessed;
    Unprocessed(f, unprocessed);
    EXPECT_NE(Pixels(f.Velora2->Bitmap()), Pixels(unprocessed));
    Type(f.Edit31, "0");
    EXPECT_DOUBLE_EQ(f.Refraction, 1.0);
    EXPECT_EQ(Pixels(f.Velora2->Bitmap()), Pixels(unprocessed));
  });
}

// Each effect on the preview: its routine on the Source's visible part, with the centre and the
// lengths that live in the image scaled by the Source's zoom.
TEST(PreviewEffects, ThePreviewAppliesEachEffectAtTheSourcesScale) {
  struct TCase {
    int tab;
    std::function<void(TfPreviews&)> change;
    std::function<void(TfPreviews&, TBitmap&)> expect;
  } cases[] = {
      {6,
       [](TfPreviews& f) { Type(f.Edit26, "30"); },
       [](TfPreviews& f, TBitmap& b) {
         const double z = f.Velora1->Zoom();
         // Light at the image's centre (200, 150), radii 200.
         BumpMap(b, int(200 * z / 100), int(150 * z / 100), int(200 * z / 100), int(200 * z / 100), TRGB{255, 255, 255},
                 30, 0, 0, b.Width(), b.Height());
       }},
      {7,
       [](TfPreviews& f) { Type(f.Edit31, "15"); },
       [](TfPreviews& f, TBitmap& b) {
         const double z = f.Velora1->Zoom();
         Lens(b, int(200 * z / 100), int(150 * z / 100), int(200 * z / 100), int(200 * z / 100), 2.5);
       }},
      {8,
       [](TfPreviews& f) {
         Type(f.Edit32, "40");
         Type(f.Edit34, "90");
         QTest::mouseClick(f.CheckBox2, Qt::LeftButton);
       },
       [](TfPreviews& f, TBitmap& b) {
         const double z = f.Velora1->Zoom();
         Wave(b, int(40 * z / 100), int(10 * z / 100), 90, true);
       }},
      {9,
       [](TfPreviews& f) {
         ClickItem(f.ListBox2, 3);  // closing
         Type(f.Edit35, "3");
       },
       [](TfPreviews&, TBitmap& b) { MorphFilter(b, 3, mfClosing, 0, 0, b.Width(), b.Height()); }},
  };
  for (const TCase& c : cases) {
    TDialogFixture fx(400, 300);
    fx.proc().PreviewsParams = kLocked;
    fx.Run(kAllPages, [&](TfPreviews& f) {
      f.PageControl1->setCurrentIndex(c.tab);
      ASSERT_LT(f.Velora1->Zoom(), 100);  // fitted: the scale matters
      TBitmap expected;
      Unprocessed(f, expected);
      c.change(f);
      c.expect(f, expected);
      EXPECT_EQ(Pixels(f.Velora2->Bitmap()), Pixels(expected)) << "tab " << c.tab;
    });
  }
}

TEST(PreviewEffects, AClickOnTheResultPlacesTheLightInTheImage) {
  TDialogFixture fx(400, 300);
  fx.proc().PreviewsParams = kLocked;
  fx.Run(kAllPages, [](TfPreviews& f) {
    for (int tab : {6, 7}) {
      f.PageControl1->setCurrentIndex(tab);
      const double z = f.Velora1->Zoom();
      const QPoint at(f.Velora1->CenterOffsetX() + 30, f.Velora1->CenterOffsetY() + 20);
      QTest::mouseClick(f.Velora2, Qt::RightButton, {}, at);
      const int x = int(30 * 100 / z), y = int(20 * 100 / z);
      const TfPreviews::TEffectArea& area = tab == 6 ? f.BumpArea : f.LensArea;
      EXPECT_EQ(area.Left, x) << tab;
      EXPECT_EQ(area.Top, y) << tab;
      EXPECT_EQ((tab == 6 ? f.Edit22 : f.Edit27)->value(), x);
      EXPECT_EQ((tab == 6 ? f.Edit23 : f.Edit28)->value(), y);
      // Left of the picture: the box's lowest value, which the box can show.
      QTest::mouseClick(f.Velora2, Qt::LeftButton, {}, QPoint(0, 0));
      EXPECT_GE(area.Left, 0);
      EXPECT_EQ((tab == 6 ? f.Edit22 : f.Edit27)->value(), area.Left);
    }
  });
}

TEST(PreviewEffects, OkAppliesTheEffectToTheWholeImageAtItsOwnScale) {
  TDialogFixture fx(400, 300);
  fx.proc().PreviewsParams = kLocked;
  TBitmap expected;
  expected.Assign(fx.view->Bitmap());
  BumpMap(expected, 200, 150, 200, 200, TRGB{255, 255, 255}, 0, 0, 0, 400, 300);
  EXPECT_TRUE(fx.Run(kAllPages, [](TfPreviews& f) {
    f.PageControl1->setCurrentIndex(6);
    QTest::mouseClick(f.Button1, Qt::LeftButton);
  }));
  EXPECT_EQ(Pixels(fx.view->Bitmap()), Pixels(expected));
}

TEST(PreviewEffects, TheMorphWindowStaysWithinItsRange) {
  TDialogFixture fx;
  fx.Run(kAllPages, [](TfPreviews& f) {
    f.PageControl1->setCurrentIndex(9);
    EXPECT_EQ(f.ListBox2->item(2)->text(), "Opening");
    EXPECT_EQ(f.MorphSize, 1);
    Type(f.Edit35, "100");
    EXPECT_GE(f.MorphSize, 1);
    EXPECT_LE(f.MorphSize, 64);
    EXPECT_EQ(f.MorphSize, f.Edit35->value());
    f.Edit35->stepBy(1000);
    EXPECT_EQ(f.MorphSize, 64);
    f.Edit35->stepBy(-1000);
    EXPECT_EQ(f.MorphSize, 1);
  });
}

TEST(PreviewEffects, TheRotateBoxAndSliderFollowEachOther) {
  TDialogFixture fx;
  fx.proc().PreviewsParams = kLocked;
  fx.Run(kAllPages, [](TfPreviews& f) {
    f.PageControl1->setCurrentIndex(10);
    ASSERT_EQ(f.ActiveTag(), 11);
    f.TrackBarRotate->setValue(4550);
    EXPECT_EQ(f.EditRotate->text(), "45.5");
    EXPECT_DOUBLE_EQ(f.Angle, 45.5);
    // Pasted texts.
    struct TPasted {
      const char* text;
      int slider;
      double angle;
      const char* shown;
    } pasted[] = {
        {"12,25", 1225, 12.25, "12,25"},  // either separator
        {"-30.5", -3050, -30.5, "-30.5"},
        {"500", 18000, 180, "180"},  // limited to the slider's range, and shown so
        {"-1e300", -18000, -180, "-180"},
        {"1e999", 0, 0, "1e999"},  // not a finite number: 0
        {"nan", 0, 0, "nan"},
        {"abc", 0, 0, "abc"},
    };
    for (const TPasted& t : pasted) {
      f.EditRotate->setText("7");  // away from the case's result first
      f.EditRotate->setText(t.text);
      EXPECT_EQ(f.TrackBarRotate->value(), t.slider) << t.text;
      EXPECT_DOUBLE_EQ(f.Angle, t.angle) << t.text;
      EXPECT_EQ(f.EditRotate->text(), t.shown) << t.text;
    }
    // Typed key by key, the box never holds more than the slider can.
    Type(f.EditRotate, "5000");
    EXPECT_EQ(f.EditRotate->text(), "180");
    EXPECT_DOUBLE_EQ(f.Angle, 180);
    // A quarter turn and a mirror on the preview, which is fitted again.
    f.TrackBarRotate->setValue(9000);
    TBitmap unprocessed;
    Unprocessed(f, unprocessed);
    QTest::mouseClick(f.SpeedButtonFlipHor, Qt::LeftButton);
    const TBitmap& r = f.Velora2->Bitmap();
    ASSERT_EQ(r.Width(), unprocessed.Height());
    ASSERT_EQ(r.Height(), unprocessed.Width());
    // Mirrored left-right, then turned counter-clockwise: (x, y) ends at (y, x).
    EXPECT_EQ(Pixel(r, 3, 5), Pixel(unprocessed, 5, 3));
    EXPECT_EQ(Pixel(r, 10, 1), Pixel(unprocessed, 1, 10));
    EXPECT_LE(f.Velora2->ZoomedWidth(), f.Velora2->width());
  });
}

TEST(PreviewEffects, OkTurnsAndMirrorsTheImageWithOneUndoCopy) {
  TDialogFixture fx(60, 40);
  TBitmap original;
  original.Assign(fx.view->Bitmap());
  EXPECT_TRUE(fx.Run(kAllPages, [&](TfPreviews& f) {
    f.PageControl1->setCurrentIndex(10);
    f.TrackBarRotate->setValue(-9000);
    QTest::mouseClick(f.SpeedButtonFlipVer, Qt::LeftButton);
    QTest::mouseClick(f.Button1, Qt::LeftButton);
  }));
  const TBitmap& image = fx.view->Bitmap();
  ASSERT_EQ(image.Width(), 40);
  ASSERT_EQ(image.Height(), 60);
  // Upside down, then turned clockwise: (x, y) ends at (39 − (39 − y), x) = (y, x).
  for (auto [x, y] : {std::pair{0, 0}, {59, 39}, {17, 4}})
    EXPECT_EQ(Pixel(image, y, x), Pixel(original, x, y)) << x << "," << y;
  ASSERT_EQ(fx.proc().UndoCount(), 1);
  EXPECT_EQ(fx.proc().UndoCaptions().back(), "Previews");
}

TEST(PreviewEffects, ARotationReportsProgressOnOkOnly) {
  // A free angle goes through the shears; a whole quarter turn and a mirror through the plain
  // moves, which report as well.
  struct {
    const char* angle;
    bool flip;
    int width;
  } const kCases[] = {{"30", false, 74}, {"90", false, 40}, {"0", true, 60}};
  for (const auto& c : kCases) {
    TDialogFixture fx(60, 40);
    int reports = 0, reportsBeforeOk = -1;
    fx.proc().OnProgress = [&](TVLObject* sender, int) {
      EXPECT_EQ(sender, &fx.proc());
      ++reports;
    };
    EXPECT_TRUE(fx.Run(kAllPages, [&](TfPreviews& f) {
      f.PageControl1->setCurrentIndex(10);
      Type(f.EditRotate, c.angle);
      if (c.flip) QTest::mouseClick(f.SpeedButtonFlipHor, Qt::LeftButton);
      reportsBeforeOk = reports;
      QTest::mouseClick(f.Button1, Qt::LeftButton);
    }));
    EXPECT_EQ(reportsBeforeOk, 0) << c.angle;
    EXPECT_GT(reports, 0) << c.angle;
    EXPECT_EQ(fx.view->Bitmap().Width(), c.width) << c.angle;
  }
}
