// The preview dialog reached as the viewer reaches it: a view's processing component opens it
// through the installed launcher, the test acts on the form from OnPreview inside the modal
// loop with real events, and OK or Cancel closes it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "previews_fixture.h"

using namespace velora;
using namespace velora::test;

TEST(Previews, ThePageSetChoosesTheTabsInOrderAndTheFirstOpens) {
  struct TCase {
    TPreviewPageSet pages;
    std::vector<std::string> tabs;
  } cases[] = {
      {30, {"Contrast", "HSV", "HSL", "RGB"}},
      {2208, {"User filter", "Bump map", "Rotate"}},
      {1, {"Contrast", "HSV", "HSL", "RGB", "User filter", "Equalization", "Bump map", "Lens", "Wave",
           "Morphing filters", "Rotate", "FFT"}},
  };
  for (const TCase& c : cases) {
    TDialogFixture fx;
    fx.proc().MsgLanguage = msEnglish;
    fx.Run(c.pages, [&](TfPreviews& f) {
      EXPECT_EQ(VisibleTabs(f), c.tabs) << c.pages;
      EXPECT_EQ(f.PageControl1->tabText(f.PageControl1->currentIndex()).toStdString(), c.tabs.front());
      EXPECT_EQ(f.windowTitle(), "Preview");
      EXPECT_EQ(f.PageControl1->tabPosition(), QTabWidget::South);
      EXPECT_GE(f.width(), 521);
      EXPECT_GE(f.height(), 390);
    });
  }
}

TEST(Previews, LockPreviewDecidesWhenTheResultFollows) {
  for (bool locked : {false, true}) {
    TDialogFixture fx;
    fx.proc().PreviewsParams = locked ? 1u << prppDefaultLockPreview : 0;
    fx.Run(30, [&](TfPreviews& f) {
      EXPECT_EQ(f.SpeedButton1->isChecked(), locked);
      EXPECT_EQ(f.Button3->isEnabled(), !locked);
      const auto before = Pixels(f.Velora2->Bitmap());
      f.TrackBar12->setValue(60);  // brightness
      EXPECT_EQ(f.Edit21->text(), "60");
      EXPECT_EQ(Pixels(f.Velora2->Bitmap()) != before, locked);
      if (!locked) {
        QTest::mouseClick(f.Button3, Qt::LeftButton);
        EXPECT_NE(Pixels(f.Velora2->Bitmap()), before);
        // Pressing the lock runs the preview at once and disables "Preview".
        QTest::mouseClick(f.SpeedButton1, Qt::LeftButton);
        EXPECT_FALSE(f.Button3->isEnabled());
      }
    });
  }
}

TEST(Previews, OkAppliesThePageWithOneUndoCopyAndCancelChangesNothing) {
  {
    TDialogFixture fx;
    const auto original = Pixels(fx.view->Bitmap());
    EXPECT_TRUE(fx.Run(30, [](TfPreviews& f) { QTest::mouseClick(f.Button1, Qt::LeftButton); }));
    EXPECT_EQ(Pixels(fx.view->Bitmap()), original);  // neutral values
    ASSERT_EQ(fx.proc().UndoCount(), 1);
    EXPECT_EQ(fx.proc().UndoCaptions().back(), "Previews");
  }
  {
    TDialogFixture fx;
    const TRGB before = Pixel(fx.view->Bitmap(), 10, 10);
    // Progress is reported for the real application only, not for the previews.
    int reports = 0, reportsBeforeOk = -1;
    fx.proc().OnProgress = [&](TVLObject* sender, int) {
      EXPECT_EQ(sender, &fx.proc());
      ++reports;
    };
    EXPECT_TRUE(fx.Run(30, [&](TfPreviews& f) {
      Type(f.Edit21, "20");
      reportsBeforeOk = reports;
      QTest::keyClick(&f, Qt::Key_Return);  // OK is the default button
    }));
    EXPECT_EQ(reportsBeforeOk, 0);
    EXPECT_GT(reports, 0);
    const TRGB after = Pixel(fx.view->Bitmap(), 10, 10);
    EXPECT_EQ(after.r, std::min(255, before.r + 20));
    EXPECT_EQ(after.b, std::min(255, before.b + 20));
  }
  {
    TDialogFixture fx;
    const auto original = Pixels(fx.view->Bitmap());
    EXPECT_FALSE(fx.Run(30, [](TfPreviews& f) {
      Type(f.Edit1, "-100");
      QTest::mouseClick(f.Button6, Qt::LeftButton);  // "<<": the Source copy takes the result
      EXPECT_EQ(f.Edit1->text(), "0");                // and the page starts again from neutral
      QTest::keyClick(&f, Qt::Key_Escape);
    }));
    EXPECT_EQ(Pixels(fx.view->Bitmap()), original);
    EXPECT_EQ(fx.proc().UndoCount(), 0);
  }
}

TEST(Previews, ZoomingTheSourceRebuildsTheResult) {
  TDialogFixture fx(400, 300);
  fx.Run(30, [](TfPreviews& f) {
    const int fittedWidth = f.Velora2->Bitmap().Width();
    EXPECT_EQ(fittedWidth, f.Velora1->VisibleWidth());
    f.Velora1->SetZoom(400);
    EXPECT_EQ(f.Velora2->Bitmap().Width(), f.Velora1->VisibleWidth());
    EXPECT_NE(f.Velora2->Bitmap().Width(), fittedWidth);
    // At 400 % one source pixel spans four of the preview.
    const TBitmap& r = f.Velora2->Bitmap();
    EXPECT_EQ(Pixel(r, 0, 0), Pixel(r, 3, 3));
  });
}

TEST(Previews, ItalianCaptions) {
  TDialogFixture fx;
  fx.proc().MsgLanguage = msItalian;
  fx.Run(1, [](TfPreviews& f) {
    EXPECT_EQ(f.windowTitle(), "Anteprima");
    EXPECT_EQ(f.Label1->text(), "Originale:");
    EXPECT_EQ(f.Label2->text(), "Elaborata:");
    EXPECT_EQ(f.Button2->text(), "Annulla");
    EXPECT_EQ(f.Button3->text(), "Anteprima");
    EXPECT_EQ(f.PageControl1->tabText(0), "Contrasto");
    for (int i : {1, 2, 3, 11}) EXPECT_TRUE(QStringList({"HSV", "HSL", "RGB", "FFT"}).contains(f.PageControl1->tabText(i)));
    EXPECT_EQ(f.Label22->text(), "Luminosità:");
  });
}

TEST(Previews, TypedValuesAreLimitedBySliders) {
  TDialogFixture fx;
  fx.Run(30, [](TfPreviews& f) {
    Type(f.Edit1, "500");
    EXPECT_EQ(f.TrackBar1->value(), 100);
    EXPECT_EQ(f.Edit1->text(), "100");
    EXPECT_EQ(f.Contrast, 100);
    Type(f.Edit1, "abc");  // not a number: 0
    EXPECT_EQ(f.Contrast, 0);
  });
}

TEST(Previews, HsvBoxesSetTheSlidersAndTheResultSetsTheBaseColour) {
  TDialogFixture fx;
  fx.Run(PreviewPageSet({ppHSV}), [](TfPreviews& f) {
    ASSERT_EQ(f.ActiveTag(), 5);
    // A click on the Result reads the colour shown there into the base box, silently.
    const QPoint centre(f.Velora2->width() / 2, f.Velora2->height() / 2);
    const QRgb shown = f.Velora2->grab(QRect(centre, QSize(1, 1))).toImage().pixel(0, 0);
    QTest::mouseClick(f.Velora2, Qt::LeftButton, {}, centre);
    int h, s, v;
    RGBToHSV(TRGB{uint8_t(qBlue(shown)), uint8_t(qGreen(shown)), uint8_t(qRed(shown))}, h, s, v);
    EXPECT_EQ(f.HSVBox3->Hue(), h);
    EXPECT_EQ(f.HSVBox3->Val(), v);
    EXPECT_EQ(f.TrackBar9->value(), 0);
    // Picking a new colour sets the sliders to new − base.
    const int fieldRight = f.HSVBox1->FieldWidth() - 1;
    QTest::mouseClick(f.HSVBox1, Qt::LeftButton, {}, QPoint(fieldRight, 0));  // saturation 99, value 99
    EXPECT_EQ(f.HsvSat, 99 - f.HSVBox3->Sat());
    EXPECT_EQ(f.HsvVal, 99 - f.HSVBox3->Val());
    EXPECT_EQ(f.Edit17->text().toInt(), f.HsvVal);
  });
}

TEST(Previews, ThresholdGripsNeverCrossAndTheChecksChooseTheChannels) {
  TDialogFixture fx;
  fx.Run(PreviewPageSet({ppEqualization}), [](TfPreviews& f) {
    ASSERT_EQ(f.ActiveTag(), 6);
    TRulerBox* ruler = f.RulerBox1;
    // Drag the lower grip with the mouse far past the upper one.
    const int y = ruler->height() - 3;
    const int from = ruler->GripPolygon(0).boundingRect().center().x();
    QTest::mousePress(ruler, Qt::LeftButton, {}, QPoint(from, y));
    QMouseEvent move(QEvent::MouseMove, QPointF(ruler->width(), y), QPointF(ruler->width(), y), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(ruler, &move);
    QTest::mouseRelease(ruler, Qt::LeftButton, {}, QPoint(ruler->width(), y));
    EXPECT_EQ(ruler->GetGripPosition(0), ruler->GetGripPosition(1));
    EXPECT_EQ(f.Label16->text(), f.Label17->text());
    EXPECT_EQ(f.ThresholdLow.g, f.ThresholdHigh.g);
    // "Red" alone: the grips move the red thresholds only.
    f.CheckListBox1->item(3)->setCheckState(Qt::Unchecked);
    f.CheckListBox1->item(0)->setCheckState(Qt::Checked);
    const TRGB low = f.ThresholdLow;
    ruler->SetGripPosition(0, 40);
    ruler->SetGripPosition(1, 200);
    EXPECT_EQ(f.ThresholdLow.r, 40);
    EXPECT_EQ(f.ThresholdHigh.r, 200);
    EXPECT_EQ(f.ThresholdLow.g, low.g);
    EXPECT_EQ(f.ThresholdLow.b, low.b);
    EXPECT_EQ(f.HistogramBox1->HistogramKind(), THistogramKind(hkRed));
    EXPECT_EQ(f.Label17->text(), "200");
  });
}

TEST(Previews, FftClearWithoutASelectionChangesNothing) {
  TDialogFixture fx;
  fx.Run(PreviewPageSet({ppContrast, ppFFT}), [](TfPreviews& f) {
    f.PageControl1->setCurrentIndex(11);
    ASSERT_EQ(f.ActiveTag(), 12);
    EXPECT_TRUE(f.CheckBox1->isChecked());
    ASSERT_NE(f.FrequencyImage(), nullptr);
    EXPECT_EQ(f.FrequencyImage()->Mode, TVLFtImage::kModeGray);
    EXPECT_EQ(f.FrequencyImage()->Size, 128);
    EXPECT_EQ(f.VeloraView1->Bitmap().Width(), 128);  // the spectrum
    const auto before = Pixels(f.Velora2->Bitmap());
    QTest::mouseClick(f.Clear, Qt::LeftButton);
    EXPECT_EQ(Pixels(f.Velora2->Bitmap()), before);
    // A cleared rectangle changes the preview but not the stored transform.
    f.VeloraView1->AddRectangleSelection(0, 0, 127, 127, false);
    f.VeloraView1->EndSelection();
    QTest::mouseClick(f.Clear, Qt::LeftButton);
    EXPECT_NE(Pixels(f.Velora2->Bitmap()), before);
    QTest::mouseClick(f.Button7, Qt::LeftButton);  // Reset
    EXPECT_FALSE(f.VeloraView1->HasSelection());
    EXPECT_EQ(Pixels(f.Velora2->Bitmap()), before);
    QTest::mouseClick(f.CheckBox1, Qt::LeftButton);
    EXPECT_EQ(f.FrequencyImage()->Mode, TVLFtImage::kModeColour);
  });
}

TEST(Previews, FftOkClearsTheSelectionScaledToTheWholeImage) {
  TDialogFixture fx;  // 60 × 40: a 64-point transform, half the thumbnail's 128
  TBitmap expected;
  {
    TVLFtImage ft;
    ft.BuildFromBitmap(fx.view->Bitmap(), TVLFtImage::kModeGray);
    ft.ClearRegion(32, 32, 63, 63);
    ft.WriteInverse(expected);
  }
  EXPECT_TRUE(fx.Run(PreviewPageSet({ppFFT}), [](TfPreviews& f) {
    f.VeloraView1->AddRectangleSelection(64, 64, 127, 127, false);
    f.VeloraView1->EndSelection();
    QTest::mouseClick(f.Button1, Qt::LeftButton);
  }));
  EXPECT_EQ(Pixels(fx.view->Bitmap()), Pixels(expected));
}

TEST(Previews, TheFrequencyThumbnailAveragesTheSourceBlocks) {
  // 256 × 128 in 2 × 2 blocks: the 128 × 64 thumbnail holds each block's mean.
  TDialogFixture fx;
  TBitmap& image = fx.view->Bitmap();
  TBitmap blocks(128, 64, TPixelFormat::pf24bit);
  image.Reset(256, 128, TPixelFormat::pf24bit);
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 256; ++x) {
      // Red runs v, v + 2, v + 4, v + 6 inside a block: its mean is v + 3.
      const TRGB c{uint8_t((x / 2) ^ (y / 2)), uint8_t(y / 2 * 3), uint8_t(x / 2 + x % 2 * 2 + y % 2 * 4)};
      reinterpret_cast<TRGB*>(image.ScanLine(y))[x] = c;
      reinterpret_cast<TRGB*>(blocks.ScanLine(y / 2))[x / 2] = TRGB{c.b, c.g, uint8_t(x / 2 + 3)};
    }
  TVLFtImage expected;
  expected.BuildFromBitmap(blocks, TVLFtImage::kModeGray);
  fx.Run(PreviewPageSet({ppFFT}), [&](TfPreviews& f) {
    const TVLFtImage* ft = f.FrequencyImage();
    ASSERT_EQ(ft->Size, 128);
    ASSERT_EQ(ft->SourceHeight, 64);
    for (int y = 0; y < 128; ++y)
      ASSERT_EQ(0, std::memcmp(ft->Row(TVLFtImage::kGray, y), expected.Row(TVLFtImage::kGray, y), 256 * sizeof(float))) << y;
  });
}

TEST(Previews, TheFrequencyThumbnailOfAThinImageKeepsOnePixel) {
  TDialogFixture fx(2, 300);
  fx.Run(PreviewPageSet({ppFFT}), [](TfPreviews& f) {
    ASSERT_NE(f.FrequencyImage(), nullptr);
    EXPECT_EQ(f.FrequencyImage()->SourceWidth, 1);
    EXPECT_EQ(f.FrequencyImage()->SourceHeight, 128);
  });
}

TEST(Previews, NothingOpensOnImagesTheDialogCannotTake) {
  TDialogFixture fx;
  int shown = 0;
  fx.proc().OnPreview = [&](TVLObject*, TVLObject*) { ++shown; };
  fx.view->Bitmap().Reset(1, 1, TPixelFormat::pf24bit);
  EXPECT_FALSE(fx.proc().ShowPreviews(30));
  fx.view->Bitmap().Reset(40, 30, TPixelFormat::pf1bit);
  EXPECT_FALSE(fx.proc().ShowPreviews(30));
  EXPECT_EQ(shown, 0);
}
