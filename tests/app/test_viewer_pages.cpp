// The window's pages, animation and information panel, offscreen: paging a 3-page TIFF with
// Ctrl+PageDown/PageUp and the page in the status line, the column's page mark, an animated
// GIF's second frame after its delay and the pause key, and the panel's fields for a photo
// with EXIF.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <utility>
#include <numeric>
#include <string>
#include <vector>

#include "codecs/formats.h"
#include "codecs/jpeg/oriented_photo.h"
#include "dialogs/previews_form.h"
#include "image_viewer_form.h"
#include "info_panel.h"
#include "io/velora_io.h"
#include "mview/velora_mview.h"
#include "status_line.h"
#include "test_bytes.h"
#include "view/qt/velora_view.h"
#include "widgets/magick_gif.h"

using namespace velora;
namespace fs = std::filesystem;

namespace {

TRGB PixelAt(const TBitmap& b, int x, int y) {
  const uint8_t* p = b.ScanLine(y) + 3 * x;
  return TRGB{p[0], p[1], p[2]};
}

struct PagesFolder {
  std::string dir;
  PagesFolder() {
    dir = ::testing::TempDir() + "tessel_pages_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~PagesFolder() { fs::remove_all(dir); }

  // Three pages of different sizes and colours; page i is 60 − 10 i pixels wide.
  void WriteThreePageTiff(const std::string& name) {
    const TRGB colours[3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};  // red, green, blue pages (BGR order)
    TVeloraIO io;
    for (int i = 0; i < 3; ++i) {
      TBitmap b(60 - 10 * i, 40 - 10 * i, TPixelFormat::pf24bit);
      for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) reinterpret_cast<TRGB*>(b.ScanLine(y))[x] = colours[i];
      io.AttachBitmap(&b);
      io.Params().TiffImageIndex = i;
      ASSERT_EQ(io.InsertToFile(dir + "/" + name), i + 1) << io.AbortReason;
      io.AttachBitmap(nullptr);
    }
  }
};

struct PagesWindow {
  TfrmImageViewer form;
  // before runs on the window before it shows anything.
  explicit PagesWindow(const std::string& dir, const std::function<void(TfrmImageViewer&)>& before = {})
      : form(dir, "*.*") {
    if (before) before(form);
    form.resize(700, 500);
    form.show();
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form)) << "the window's keys need it active";
    form.FormActivate();
    Settle();
  }
  TVeloraView& view() { return *form.VeloraView1; }
  TVeloraMView& mview() { return *form.VeloraMView1; }
  void Settle() { EXPECT_TRUE(QTest::qWaitFor([this] { return !form.Busy(); }, 60000)); }
  // A key as the user presses it with the column focused (as after a click on a thumbnail).
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    mview().setFocus();
    QTest::keyClick(&mview(), Qt::Key(key), modifiers);
    Settle();
  }
};

}  // namespace

TEST(ViewerPages, CtrlPageDownAndUpPageThroughATiff) {
  PagesFolder folder;
  folder.WriteThreePageTiff("pages.tif");
  PagesWindow w(folder.dir);
  ASSERT_EQ(w.mview().ImageCount(), 1);
  EXPECT_EQ(w.mview().ImagePages(0), 3) << "the column's cell carries the page count";
  EXPECT_EQ(w.mview().ImageInfoText(0)->Caption(), "60x40x24b") << "the captions stay the design's";
  EXPECT_EQ(w.form.PageText(), "page 1/3");
  struct Step {
    int key;
    int page;  // expected afterwards, from 1
    int width;
    TRGB colour;
  };
  const Step steps[] = {
      {Qt::Key_PageDown, 2, 50, {0, 255, 0}}, {Qt::Key_PageDown, 3, 40, {255, 0, 0}},
      {Qt::Key_PageDown, 3, 40, {255, 0, 0}},  // no page after the last
      {Qt::Key_PageUp, 2, 50, {0, 255, 0}},   {Qt::Key_PageUp, 1, 60, {0, 0, 255}},
      {Qt::Key_PageUp, 1, 60, {0, 0, 255}},   // nor before the first
  };
  for (const Step& s : steps) {
    w.Key(s.key, Qt::ControlModifier);
    SCOPED_TRACE("to page " + std::to_string(s.page));
    EXPECT_EQ(w.form.Page(), s.page - 1);
    EXPECT_EQ(w.form.PageText().toStdString(), "page " + std::to_string(s.page) + "/3");
    EXPECT_TRUE(w.form.findChild<TStatusLine*>("StatusLine")->Text().contains(w.form.PageText()))
        << "shown in the status line";
    ASSERT_EQ(w.view().GetBitmap()->Width(), s.width);
    EXPECT_EQ(PixelAt(*w.view().GetBitmap(), 5, 5), s.colour);
  }
  w.Key(Qt::Key_PageDown, Qt::ControlModifier);
  w.form.tbtnReloadImageClick();
  w.Settle();
  EXPECT_EQ(w.form.PageText(), "page 2/3") << "reload keeps the page";
}

TEST(ViewerPages, AnAnimatedGifPlaysAtItsDelaysAndPauses) {
  if (!magickgif::HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  PagesFolder folder;
  ASSERT_TRUE(magickgif::MakeAnimation(folder.dir + "/anim.gif", 40));  // the first frame shows 400 ms
  // Every frame shown, when and with which pixel at 10,8 (red in frame 2 only).
  struct Shown {
    int index;
    qint64 at;
    TRGB pixel;
    int width;
  };
  std::vector<Shown> shownAt;
  QElapsedTimer clock;
  clock.start();
  PagesWindow w(folder.dir, [&](TfrmImageViewer& form) {
    TGifPlayer& player = form.Animation();
    player.OnFrame = [&, show = player.OnFrame](TGifFrame& frame) {
      const int index = frame.Index;
      show(frame);
      const TBitmap& b = *form.VeloraView1->GetBitmap();
      shownAt.push_back({index, clock.elapsed(), PixelAt(b, 10, 8), b.Width()});
    };
  });
  TGifPlayer& player = w.form.Animation();
  ASSERT_TRUE(QTest::qWaitFor([&] { return shownAt.size() >= 2; }, 20000));
  ASSERT_EQ(shownAt[0].index, 0);
  ASSERT_EQ(shownAt[1].index, 1);
  EXPECT_GE(shownAt[1].at - shownAt[0].at, 400) << "the second frame waits for the first one's delay";
  EXPECT_EQ(shownAt[0].width, 40) << "frames are shown on the file's canvas";
  EXPECT_EQ(shownAt[0].pixel, (TRGB{255, 0, 0})) << "frame 1 is blue there";
  EXPECT_EQ(shownAt[1].pixel, (TRGB{0, 0, 255})) << "frame 2 draws red at 4,3";
  EXPECT_EQ(w.form.Pages(), 1);
  EXPECT_TRUE(w.form.PageText().isEmpty());

  // Paused, the frame stays past several delays; resumed, the frames go on.
  ASSERT_TRUE(QTest::qWaitFor([&] { return player.Frame() >= 2; }, 20000));
  w.form.activateWindow();
  w.mview().setFocus();
  QTest::keyClick(&w.mview(), Qt::Key_P);
  EXPECT_TRUE(player.Paused());
  const size_t framesWhenPaused = shownAt.size();
  QTest::qWait(800);
  EXPECT_EQ(shownAt.size(), framesWhenPaused);
  QTest::keyClick(&w.mview(), Qt::Key_P);
  EXPECT_FALSE(player.Paused());
  EXPECT_TRUE(QTest::qWaitFor([&] { return shownAt.size() > framesWhenPaused; }, 20000));
}

namespace {

// "Exif\0\0" and a little-endian TIFF: IFD 0 (Make, Model, Orientation, the camera IFD) and
// the camera IFD (exposure 1/250 s, f/2.8, ISO 200, taken 2024:05:17 14:30:00, 35 mm).
std::string CameraExif() {
  using testbytes::PutU16;
  using testbytes::PutU32;
  struct Field {
    uint16_t tag, type;
    uint32_t count;
    testbytes::Bytes value;  // more than 4 bytes go to the data area
  };
  auto ascii = [](uint16_t tag, const std::string& s) {
    testbytes::Bytes v(s.begin(), s.end());
    v.push_back(0);
    return Field{tag, 2, uint32_t(v.size()), v};
  };
  auto rational = [](uint16_t tag, uint32_t num, uint32_t den) {
    testbytes::Bytes v;
    PutU32(v, num), PutU32(v, den);
    return Field{tag, 5, 1, v};
  };
  auto shortField = [](uint16_t tag, unsigned value) {
    testbytes::Bytes v;
    PutU16(v, value), PutU16(v, 0);
    return Field{tag, 3, 1, v};
  };
  std::vector<Field> ifd0 = {ascii(271, "Velora"), ascii(272, "Velora Lake 1"), shortField(274, 1),
                             Field{34665, 4, 1, {0, 0, 0, 0}}};
  const std::vector<Field> camera = {rational(33434, 1, 250), rational(33437, 28, 10), shortField(34855, 200),
                                     ascii(36867, "2024:05:17 14:30:00"), rational(37386, 35, 1)};
  const uint32_t ifd0At = 8, cameraAt = ifd0At + 2 + 12 * uint32_t(ifd0.size()) + 4;
  uint32_t dataAt = cameraAt + 2 + 12 * uint32_t(camera.size()) + 4;
  ifd0[3].value = {uint8_t(cameraAt), uint8_t(cameraAt >> 8), 0, 0};
  testbytes::Bytes tiff = {'I', 'I', 42, 0}, data;
  PutU32(tiff, ifd0At);
  for (const std::vector<Field>* fields : {&std::as_const(ifd0), &camera}) {
    PutU16(tiff, unsigned(fields->size()));
    for (const Field& f : *fields) {
      PutU16(tiff, f.tag), PutU16(tiff, f.type), PutU32(tiff, f.count);
      if (f.value.size() <= 4) {
        testbytes::Bytes v = f.value;
        v.resize(4, 0);
        tiff.insert(tiff.end(), v.begin(), v.end());
      } else {
        PutU32(tiff, dataAt + uint32_t(data.size()));
        data.insert(data.end(), f.value.begin(), f.value.end());
      }
    }
    PutU32(tiff, 0);
  }
  tiff.insert(tiff.end(), data.begin(), data.end());
  return std::string("Exif\0\0", 6) + std::string(tiff.begin(), tiff.end());
}

}  // namespace

TEST(ViewerPages, TheInformationPanelShowsTheFileItsExifAndItsHistogram) {
  PagesFolder folder;
  testbytes::WriteFileBytes(folder.dir + "/photo.jpg", orienttest::EncodePhoto(64, 48, CameraExif()));
  PagesWindow w(folder.dir);
  TInfoPanel* panel = w.form.InfoPanel();
  ASSERT_NE(panel, nullptr);
  const bool wasShown = !panel->isHidden();
  if (wasShown) w.form.ToggleInfoPanel();
  ASSERT_TRUE(panel->isHidden());
  w.Key(Qt::Key_I);
  ASSERT_FALSE(panel->isHidden()) << "I opens the panel";
  EXPECT_EQ(w.form.dockWidgetArea(panel), Qt::RightDockWidgetArea);
  struct Row {
    const char* label;
    const char* text;
  };
  const Row rows[] = {
      {"File", "photo.jpg"},          {"Format", "JPEG"},         {"Size", "64 x 48 pixels"},
      {"Depth", "24 bits"},           {"Pages", "1"},             {"Camera", "Velora Lake 1"},
      {"Date taken", "2024-05-17 14:30:00"}, {"Exposure", "1/250 s, f/2.8"}, {"ISO", "200"},
      {"Focal length", "35 mm"},      {"Orientation", "1, normal"},
  };
  for (const Row& r : rows) EXPECT_EQ(panel->Field(r.label).toStdString(), r.text) << r.label;
  EXPECT_FALSE(panel->Field("Resolution").isEmpty());
  EXPECT_FALSE(panel->Field("File size").isEmpty());
  const THistogram* histogram = panel->Histogram();
  ASSERT_NE(histogram, nullptr);
  const auto total = std::accumulate(histogram->begin(), histogram->end(), uint64_t(0),
                                     [](uint64_t n, const THistogramEntry& e) { return n + e.Gray; });
  EXPECT_EQ(total, 64u * 48) << "every pixel of the picture counted";
  w.Key(Qt::Key_K, Qt::ControlModifier);
  EXPECT_TRUE(panel->isHidden()) << "Ctrl+K closes it again";
  if (wasShown) w.form.ToggleInfoPanel();
}

TEST(ViewerPages, TheHistogramFollowsAnEditOfThePicture) {
  PagesFolder folder;
  testbytes::WriteFileBytes(folder.dir + "/photo.jpg", orienttest::EncodePhoto(64, 48, CameraExif()));
  PagesWindow w(folder.dir);
  if (w.form.InfoPanel()->isHidden()) w.form.ToggleInfoPanel();
  const THistogram before = *w.form.InfoPanel()->Histogram();
  // Brighter by 30 through "CA" and OK.
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<TfPreviews*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->Edit21->selectAll();
    QTest::keyClicks(dialog->Edit21, "30");
    QTest::mouseClick(dialog->Button1, Qt::LeftButton);
  });
  w.form.tbtnColorAdjust->trigger();
  const THistogram* after = w.form.InfoPanel()->Histogram();
  ASSERT_NE(after, nullptr);
  auto darkest = [](const THistogram& h) {
    int level = 0;
    while (level < 255 && h[size_t(level)].Blue == 0) ++level;
    return level;
  };
  EXPECT_EQ(darkest(*after), std::min(255, darkest(before) + 30)) << "counted again from the edited picture";
  w.form.ToggleInfoPanel();
}
