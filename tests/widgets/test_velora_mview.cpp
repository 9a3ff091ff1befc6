// The thumbnail multi-view, offscreen with real Qt events: entries and their thumbnails, the
// caption gaps, the grid layout, selection by click and key, scrolling, and what it paints.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QToolTip>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/jpeg/oriented_photo.h"
#include "io/velora_io.h"
#include "mview/velora_mview.h"

using namespace velora;

namespace {

void Fill(TBitmap& b, int w, int h, TRGB c) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = c;
  }
}

// A multi-view of `count` entries in one column of 100 × 100 cells, 114 pixels of client width.
struct Column {
  TVeloraMView view;
  std::vector<int> selections;
  explicit Column(int count, int height = 300) {
    view.SetBorderStyle(bsNone);
    view.resize(114, height);
    view.SetGridWidth(-1);
    view.OnImageSelect = [this](TVLObject*, int idx) { selections.push_back(idx); };
    for (int i = 0; i < count; ++i) view.AppendImage();
    view.show();
    view.Update();
  }
  QPoint CellCentre(int i) {
    return QPoint(view.ImageX(i) - view.ViewX() + 50, view.ImageY(i) - view.ViewY() + 50);
  }
};

}  // namespace

TEST(MView, ThumbnailsKeepTheAspectInsideTheBox) {
  struct Case {
    int w, h, tw, th;
  } cases[] = {{40, 20, 100, 50}, {1000, 10, 100, 1}, {1, 1000, 1, 100}, {300, 300, 100, 100}};
  TVeloraMView view;
  view.SetStoreType(vltThumb);
  for (const auto& c : cases) {
    int idx = view.AppendImage();
    TBitmap b;
    Fill(b, c.w, c.h, TRGB{10, 20, 30});
    view.SetImage(idx, b);
    TBitmap* stored = view.GetImageBitmap(idx);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->Width(), c.tw) << c.w << "x" << c.h;
    EXPECT_EQ(stored->Height(), c.th) << c.w << "x" << c.h;
    view.ReleaseBitmap(stored);
  }
}

TEST(MView, NormalStoreKeepsTheWholeImage) {
  TVeloraMView view;
  int idx = view.AppendImage();
  TBitmap b;
  Fill(b, 321, 123, TRGB{1, 2, 3});
  view.SetImage(idx, b);
  TBitmap* stored = view.GetImageBitmap(idx);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->Width(), 321);
  EXPECT_EQ(stored->ScanLine(100)[2], 3);
  view.ReleaseBitmap(stored);
}

TEST(MView, SelectionAfterDeletions) {
  struct Case {
    int selected, deleted, expected;
  } cases[] = {{4, 4, 3}, {3, 1, 2}, {3, 3, 3}, {0, 4, 0}};
  for (const auto& c : cases) {
    TVeloraMView view;
    for (int i = 0; i < 5; ++i) view.AppendImage();
    view.SetSelectedImage(c.selected);
    EXPECT_TRUE(view.DeleteImage(c.deleted));
    EXPECT_EQ(view.SelectedImage(), c.expected) << c.selected << " " << c.deleted;
    EXPECT_EQ(view.ImageCount(), 4);
  }
  TVeloraMView view;
  EXPECT_FALSE(view.DeleteImage(0));
}

TEST(MView, CaptionsRaiseTheGapsAndNeverShrinkThem) {
  TVeloraMView view;
  int idx = view.AppendImage();
  QFont big = view.font();
  big.setPixelSize(13);
  QFont small = view.font();
  small.setPixelSize(9);
  int bigHeight = QFontMetrics(big).height();
  ASSERT_GT(bigHeight, QFontMetrics(small).height());

  view.ImageBottomText(idx)->Font = big;
  view.ImageBottomText(idx)->SetCaption("name.jpg");
  EXPECT_EQ(view.BottomGap(), bigHeight + 4);  // framed style: two more than the text's gap
  view.ImageBottomText(idx)->Font = small;
  view.ImageBottomText(idx)->SetCaption("x");
  EXPECT_EQ(view.BottomGap(), bigHeight + 4);

  view.ImageTopText(idx)->Font = big;
  view.ImageTopText(idx)->SetCaption("1");
  EXPECT_EQ(view.UpperGap(), bigHeight + 2);
  view.ImageInfoText(idx)->SetCaption("640x480x24b");
  EXPECT_EQ(view.UpperGap(), bigHeight + 2);

  view.SetStyle(vlmsFlat);
  TVeloraMView flat;
  flat.SetStyle(vlmsFlat);
  int f = flat.AppendImage();
  flat.ImageBottomText(f)->Font = big;
  flat.ImageBottomText(f)->SetCaption("name.jpg");
  EXPECT_EQ(flat.BottomGap(), bigHeight + 2);
}

TEST(MView, EntriesAndNames) {
  TVeloraMView view;
  view.AppendImage();
  view.SetImageFileName(0, "/x/a.png");
  EXPECT_EQ(view.GetImageFileName(0), "/x/a.png");
  EXPECT_EQ(view.GetImageFileName(-1), "");
  EXPECT_EQ(view.GetImageFileName(7), "");
  EXPECT_EQ(view.ImageTopText(3), nullptr);
  view.Clear();
  EXPECT_EQ(view.ImageCount(), 0);
  EXPECT_EQ(view.AppendImage(), 0);
}

TEST(MView, OneColumnLayoutAtTheViewersWidth) {
  Column col(10);
  EXPECT_EQ(col.view.Columns(), 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(col.view.ImageX(i), 4);
    EXPECT_EQ(col.view.ImageY(i), 4 + 104 * i);
    EXPECT_EQ(col.view.ImageRow(i), i);
  }
  EXPECT_EQ(col.view.ContentHeight(), 1044);

  TVeloraMView grid;
  grid.SetGridWidth(3);
  for (int i = 0; i < 7; ++i) grid.AppendImage();
  grid.show();
  grid.Update();
  std::vector<int> rows;
  for (int i = 0; i < 7; ++i) rows.push_back(grid.ImageRow(i));
  EXPECT_EQ(rows, (std::vector<int>{0, 0, 0, 1, 1, 1, 2}));

  // The viewer's column: 130 pixels wide with its border and a vertical scroll bar.
  TVeloraMView viewer;
  viewer.resize(130, 300);
  viewer.SetScrollBars(ssVertical);
  viewer.SetGridWidth(-1);
  for (int i = 0; i < 10; ++i) viewer.AppendImage();
  viewer.show();
  viewer.Update();
  EXPECT_EQ(viewer.Columns(), 1);
  EXPECT_EQ(viewer.ImageRow(9), 9);

  TVeloraMView narrow;  // narrower than a cell and two borders: no column ends, one row
  narrow.SetBorderStyle(bsNone);
  narrow.resize(100, 300);
  narrow.SetGridWidth(-1);
  for (int i = 0; i < 3; ++i) narrow.AppendImage();
  narrow.show();
  narrow.Update();
  EXPECT_EQ(narrow.ImageRow(2), 0);
  EXPECT_EQ(narrow.ImageCol(2), 2);
}

TEST(MView, ClickSelectsOnceAndNotAgain) {
  Column col(5);
  col.view.SetSelectedImage(0);
  col.selections.clear();
  QTest::mouseClick(&col.view, Qt::LeftButton, Qt::NoModifier, col.CellCentre(1));
  EXPECT_EQ(col.selections, std::vector<int>{1});
  QTest::mouseClick(&col.view, Qt::LeftButton, Qt::NoModifier, col.CellCentre(1));
  EXPECT_EQ(col.selections, std::vector<int>{1});
  // Between cells (inside the first border) nothing is hit.
  EXPECT_EQ(col.view.HitTest(50, 2), -1);
  QTest::mouseClick(&col.view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 2));
  EXPECT_EQ(col.selections, std::vector<int>{1});
}

TEST(MView, KeysMoveTheSelectionAndAlwaysReport) {
  Column col(5);
  EXPECT_EQ(col.view.SelectedImage(), 4);  // every new entry is selected, without a report
  EXPECT_TRUE(col.selections.empty());
  col.view.Deselect();
  QTest::keyClick(&col.view, Qt::Key_Right);  // nothing selected: entry 0
  EXPECT_EQ(col.view.SelectedImage(), 0);
  QTest::keyClick(&col.view, Qt::Key_Left);   // stays at 0, but still reports
  EXPECT_EQ(col.view.SelectedImage(), 0);
  QTest::keyClick(&col.view, Qt::Key_Down);
  QTest::keyClick(&col.view, Qt::Key_Down);
  QTest::keyClick(&col.view, Qt::Key_Down);
  EXPECT_EQ(col.view.SelectedImage(), 3);
  QTest::keyClick(&col.view, Qt::Key_PageDown);  // beyond the list: unchanged, reported
  EXPECT_EQ(col.view.SelectedImage(), 3);
  QTest::keyClick(&col.view, Qt::Key_End);
  EXPECT_EQ(col.view.SelectedImage(), 4);
  EXPECT_EQ(col.view.IsImageVisible(4), vlivWhole);  // scrolled into view
  QTest::keyClick(&col.view, Qt::Key_Home);
  EXPECT_EQ(col.view.SelectedImage(), 0);
  EXPECT_EQ(col.view.ViewY(), 0);
  EXPECT_EQ(col.selections, (std::vector<int>{0, 0, 1, 2, 3, 3, 4, 0}));
}

TEST(MView, WheelScrollsOneCellAndDragScrollsWithTheMouse) {
  Column col(10);
  QWheelEvent down(QPointF(50, 50), col.view.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&col.view, &down);
  EXPECT_EQ(col.view.ViewY(), 104);

  col.view.MouseInteract = mmiScroll;
  QTest::mousePress(&col.view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 200));
  QMouseEvent move(QEvent::MouseMove, QPointF(50, 170), col.view.mapToGlobal(QPointF(50, 170)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&col.view, &move);
  EXPECT_EQ(col.view.ViewY(), 134);
  QTest::mouseRelease(&col.view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 170));
  col.view.SetViewY(1000000);
  EXPECT_EQ(col.view.ViewY(), col.view.GetMaxView().y());
}

TEST(MView, UnreadableFilesShowCaptionsOrAreRemoved) {
  Column col(0);
  col.view.SetStoreType(vltThumb);
  int idx = col.view.AppendImage();
  col.view.SetImageFileName(idx, "/nonexistent/velora/missing.jpg");
  col.view.ImageBottomText(idx)->SetCaption("missing.jpg");
  EXPECT_FALSE(col.view.ObtainImage(idx));
  col.view.grab();  // painting tries to read it and keeps the entry
  EXPECT_EQ(col.view.ImageCount(), 1);
  col.view.RemoveCorrupted = true;
  col.view.grab();
  EXPECT_EQ(col.view.ImageCount(), 0);
}

// A cell whose file cannot be read keeps the reader's reason and shows it as its tool tip;
// a readable cell shows none, and a file repaired since is read at the next paint.
TEST(MView, AnUnreadableCellSaysWhyInItsToolTip) {
  const std::string dir = ::testing::TempDir();
  const std::string good = dir + "/mview_good.png", cut = dir + "/mview_cut.png";
  TVeloraIO io;
  TBitmap b;
  Fill(b, 64, 48, TRGB{1, 2, 3});
  io.AttachBitmap(&b);
  for (const std::string& name : {good, cut}) {
    io.SaveToFile(name);
    ASSERT_FALSE(io.Aborting);
  }
  std::filesystem::resize_file(cut, 60);  // the header and part of the first chunk
  const std::string missing = dir + "/mview_missing.png";
  std::filesystem::remove(missing);
  Column col(0, 340);
  col.view.SetStoreType(vltThumb);
  for (const std::string& name : {good, cut, missing}) col.view.SetImageFileName(col.view.AppendImage(), name);
  col.view.grab();
  struct Case {
    const char* what;
    std::string prefix;  // of the reason; empty: none
  } cases[] = {{"readable", ""}, {"cut short", "PNG: "}, {"missing", "Cannot open file " + missing}};
  for (int i = 0; i < 3; ++i) {
    const std::string failure = col.view.ImageReadFailure(i);
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(col.view.HasStoredImage(i), cases[i].prefix.empty());
    if (cases[i].prefix.empty()) {
      EXPECT_EQ(failure, "");
    } else {
      EXPECT_EQ(failure.substr(0, cases[i].prefix.size()), cases[i].prefix) << failure;
    }
    QToolTip::hideText();
    const QPoint at = col.CellCentre(i);
    QHelpEvent help(QEvent::ToolTip, at, col.view.mapToGlobal(at));
    QApplication::sendEvent(&col.view, &help);
    EXPECT_EQ(QToolTip::text().toStdString(), failure);
  }
  // Repaired: the next paint reads it and the reason goes.
  std::filesystem::copy_file(good, cut, std::filesystem::copy_options::overwrite_existing);
  col.view.grab();
  EXPECT_TRUE(col.view.HasStoredImage(1));
  EXPECT_EQ(col.view.ImageReadFailure(1), "");
}

TEST(MView, PaintsACaptionedColumnFromFiles) {
  // Three small files written by our own writer, read lazily when the cells are painted.
  std::string dir = ::testing::TempDir();
  TVeloraIO io;
  TBitmap b;
  const TRGB colours[] = {TRGB{0, 0, 255}, TRGB{0, 200, 0}, TRGB{255, 0, 0}};
  Column col(0, 340);
  col.view.SetStoreType(vltThumb);
  col.view.SetSelectionStyle(vlssACD);
  for (int i = 0; i < 3; ++i) {
    Fill(b, 160, 120, colours[i]);
    io.AttachBitmap(&b);
    std::string name = dir + "/mview_" + std::to_string(i) + ".png";
    io.SaveToFile(name);
    ASSERT_FALSE(io.Aborting);
    int idx = col.view.AppendImage();
    col.view.SetImageFileName(idx, name);
    col.view.ImageTopText(idx)->SetCaption(std::to_string(idx + 1));
    col.view.ImageBottomText(idx)->SetCaption("mview_" + std::to_string(i) + ".png");
    col.view.ImageInfoText(idx)->SetCaption("160x120x24b");
  }
  col.view.SetSelectedImage(1);
  QImage shot = col.view.grab().toImage();
  shot.save(QString::fromStdString(dir + "/mview_column.png"));
  EXPECT_TRUE(col.view.HasStoredImage(0));
  EXPECT_TRUE(col.view.HasStoredImage(2));
  // The middle of each thumbnail shows its picture.
  for (int i = 0; i < 3; ++i) {
    int top = col.view.UpperGap();
    int boxHeight = 100 - col.view.BottomGap() - col.view.UpperGap() - QFontMetrics(col.view.font()).height();
    QColor c = shot.pixelColor(4 + 50, col.view.ImageY(i) + top + boxHeight / 2);
    EXPECT_EQ(c, QColor(colours[i].r, colours[i].g, colours[i].b)) << i;
  }
}

// A photo taken on its side stands upright in the column and fills its cell as a portrait:
// the stored 128 x 64 picture becomes a 50 x 100 thumbnail whose first block is at the top
// right.
TEST(MView, PhotosOnTheirSideStandUpright) {
  const std::string path = ::testing::TempDir() + "/mview_side.jpg";
  orienttest::WritePhoto(path, 6, 128, 64);
  TVeloraMView view;
  view.SetStoreType(vltThumb);
  const int idx = view.AppendImage();
  view.SetImageFileName(idx, path);
  TBitmap* thumb = view.GetImageBitmap(idx);
  ASSERT_NE(thumb, nullptr);
  EXPECT_EQ(thumb->Width(), 50);
  EXPECT_EQ(thumb->Height(), 100);
  EXPECT_GT(thumb->ScanLine(0)[3 * 49], 200);  // blue
  EXPECT_LT(thumb->ScanLine(0)[0], 100);
  view.ReleaseBitmap(thumb);
  std::remove(path.c_str());
}

// Places by the grid rule, worked out from scratch for every entry after each change: the
// layout that reuses the places of entries before a change must end in the same grid.
TEST(MView, LayoutAfterInsertionsAndDeletionsMatchesTheGridRule) {
  auto expectGrid = [](TVeloraMView& v, const std::string& step) {
    const int c = v.DisplayMode() == mdSingle ? 1 : v.Columns();
    const bool grid = v.DisplayMode() == mdGrid;
    int maxX = 0, maxY = 0;
    for (int i = 0; i < v.ImageCount(); ++i) {
      const int row = grid && c > 0 ? i / c : 0, col = grid ? (c > 0 ? i % c : i) : 0;
      const int x = col * (v.ThumbWidth() + v.HorizBorder()) + (grid ? v.HorizBorder() : 0);
      const int y = row * (v.ThumbHeight() + v.VertBorder()) + (grid ? v.VertBorder() : 0);
      ASSERT_EQ(v.ImageX(i), x) << step << " entry " << i;
      ASSERT_EQ(v.ImageY(i), y) << step << " entry " << i;
      ASSERT_EQ(v.ImageRow(i), row) << step << " entry " << i;
      ASSERT_EQ(v.ImageCol(i), col) << step << " entry " << i;
      maxX = std::max(maxX, x);
      maxY = std::max(maxY, y);
    }
    EXPECT_EQ(v.ContentWidth(), maxX + v.ThumbWidth() + v.HorizBorder()) << step;
    EXPECT_EQ(v.ContentHeight(), maxY + v.ThumbHeight() + v.VertBorder()) << step;
  };
  for (int gridWidth : {3, 0, -1, -2}) {
    TVeloraMView v;
    v.SetBorderStyle(bsNone);
    v.resize(330, 300);  // three columns with GridWidth −1
    v.SetGridWidth(gridWidth);
    v.show();
    const std::string at = "GridWidth " + std::to_string(gridWidth) + ": ";
    expectGrid(v, at + "empty");
    for (int i = 0; i < 10; ++i) v.AppendImage();
    expectGrid(v, at + "ten appended");
    v.InsertImage(4);
    expectGrid(v, at + "inserted at 4");
    v.DeleteImage(0);
    v.Update();
    expectGrid(v, at + "deleted 0");
    v.DeleteImage(v.ImageCount() - 1);
    v.Update();
    expectGrid(v, at + "deleted the last");
    v.SetHorizBorder(7);
    expectGrid(v, at + "border changed");
    v.SetThumbWidth(60);
    v.AppendImage();
    expectGrid(v, at + "narrower cells");
    v.SetDisplayMode(mdSingle);
    v.InsertImage(2);
    expectGrid(v, at + "single");
    v.SetDisplayMode(mdGrid);
    v.Clear();
    v.AppendImage();
    expectGrid(v, at + "cleared");
  }
}

TEST(MView, ClearingReadsNoEntry) {
  TVeloraMView view;
  int requests = 0;
  view.OnImageIDRequest = [&](TVLObject*, int, TBitmap*& bitmap) {
    ++requests;
    bitmap = nullptr;
  };
  for (int i = 0; i < 5; ++i) view.SetImageID(view.AppendImage(), i);
  view.SetSelectedImage(0);
  const int before = requests;
  view.Clear();
  EXPECT_EQ(requests, before);
  EXPECT_EQ(view.ImageCount(), 0);
  EXPECT_EQ(view.SelectedImage(), -1);
}
