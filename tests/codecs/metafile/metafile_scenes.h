// Two pictures of the kinds users meet: a business chart as an office suite exports it (EMF)
// and a piece of clip art (WMF), written with the builders. The sample folder shows them, the
// fuzzers start from them and the benchmark draws a long chart.
#pragma once
#include <cmath>
#include <string>

#include "metafile_builder.h"

namespace velora::mftest {

// A bar chart with a line series, a pie, a legend and labels on a page of widthPx × 2/3 of
// that at 96 dpi, in MM_ANISOTROPIC with a window of 2400 × 1600. Scatter markers are added
// until the file holds at least minRecords records.
inline Bytes ChartEmf(int minRecords = 0, int widthPx = 1200) {
  const int heightPx = widthPx * 2 / 3;
  TEmfBuilder emf(widthPx, heightPx, kScreenPixels, kScreenMillimetres);
  emf.Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC));
  emf.Add(U_EMRSETWINDOWEXTEX_set(U_SIZEL{2400, 1600})).Add(U_EMRSETVIEWPORTEXTEX_set(U_SIZEL{widthPx, heightPx}));
  emf.Add(U_EMRSETBKMODE_set(U_TRANSPARENT));
  int records = 6;
  const auto count = [&](int n) { records += n; };
  emf.Brush(Rgb(250, 250, 245)).Stock(U_NULL_PEN).Rect(0, 0, 2400, 1600), count(5);
  // The plot area with its grid.
  emf.Brush(Rgb(255, 255, 255)).Pen(Rgb(160, 160, 160), 2).Rect(160, 160, 1500, 1400), count(5);
  emf.Pen(Rgb(200, 200, 200), 1, U_PS_DASH), count(2);
  for (int y = 260; y < 1400; y += 100) {
    emf.Add(U_EMRMOVETOEX_set(U_POINTL{160, y})).Add(U_EMRLINETO_set(U_POINTL{1500, y}));
    count(2);
  }
  // Bars, one hatched.
  const int heights[] = {620, 880, 450, 1010, 760, 530};
  const U_COLORREF colours[] = {Rgb(66, 114, 196), Rgb(237, 125, 49), Rgb(165, 165, 165),
                                Rgb(255, 192, 0), Rgb(91, 155, 213), Rgb(112, 173, 71)};
  emf.Pen(Rgb(40, 40, 40), 2), count(2);
  for (int i = 0; i < 6; ++i) {
    emf.Brush(colours[i], i == 2 ? U_BS_HATCHED : U_BS_SOLID, U_HS_DIAGCROSS);
    emf.Rect(220 + i * 210, 1400 - heights[i], 340 + i * 210, 1400);
    count(3);
  }
  // A line series and a smooth trend through it.
  U_POINTL series[6];
  for (int i = 0; i < 6; ++i) series[i] = U_POINTL{280 + i * 210, 1400 - heights[i] - 120};
  emf.Pen(Rgb(192, 0, 0), 6).Add(U_EMRPOLYLINE_set(U_RECTL{0, 0, 2400, 1600}, 6, series)), count(3);
  const U_POINTL trend[] = {{280, 700}, {700, 300}, {1000, 700}, {1330, 420}};
  emf.Pen(Rgb(0, 112, 192), 4, U_PS_DASHDOT).Add(U_EMRPOLYBEZIER_set(U_RECTL{0, 0, 2400, 1600}, 4, trend)), count(3);
  // A pie with its slices.
  emf.Pen(Rgb(255, 255, 255), 4), count(2);
  const double fractions[] = {0.35, 0.25, 0.2, 0.2};
  double angle = 0;
  for (int i = 0; i < 4; ++i) {
    const double next = angle + fractions[i] * 2 * M_PI;
    const auto at = [](double a) { return U_POINTL{int32_t(1950 + 600 * std::cos(a)), int32_t(500 - 600 * std::sin(a))}; };
    emf.Brush(colours[i]).Add(U_EMRPIE_set(U_RECTL{1650, 200, 2250, 800}, at(angle), at(next)));
    angle = next;
    count(3);
  }
  // Legend and labels.
  emf.Add(U_EMRSETTEXTCOLOR_set(Rgb(30, 30, 30))).Font(-56, 0, U_FW_BOLD), count(3);
  emf.Text(160, 40, u"Quarterly results", 30), count(1);
  emf.Font(-36), count(2);
  const char16_t* labels[] = {u"North", u"South", u"East", u"West", u"Centre", u"Other"};
  for (int i = 0; i < 6; ++i) {
    emf.Text(230 + i * 210, 1420, labels[i], 20);
    emf.Brush(colours[i]).Add(U_EMRROUNDRECT_set(U_RECTL{1650, 900 + i * 90, 1710, 960 + i * 90}, U_SIZEL{16, 16}));
    emf.Text(1740, 905 + i * 90, labels[i], 20);
    count(5);
  }
  emf.Font(-36, 900), count(2);
  emf.Text(60, 1100, u"Sales (k)", 20), count(1);
  // Scatter markers in the plot area, inside a clip that SaveDC/RestoreDC keeps local.
  emf.Add(U_EMRSAVEDC_set()).Add(U_EMRINTERSECTCLIPRECT_set(U_RECTL{160, 160, 1500, 1400})), count(2);
  emf.Pen(Rgb(80, 80, 80), 1).Brush(Rgb(0, 176, 80)), count(4);
  for (int i = 0; records < minRecords - 2; ++i) {
    const int x = 170 + (i * 97) % 1320, y = 170 + (i * 61 + (i / 13) * 7) % 1220;
    if (i % 3 == 0)
      emf.Add(U_EMRELLIPSE_set(U_RECTL{x, y, x + 14, y + 14}));
    else
      emf.Add(U_EMRMOVETOEX_set(U_POINTL{x, y})).Add(U_EMRLINETO_set(U_POINTL{x + 12, y + 12}));
    count(i % 3 == 0 ? 1 : 2);
  }
  emf.Add(U_EMRRESTOREDC_set(-1));
  return emf.Finish();
}

// A house under the sun by a tree, 4320 × 2880 units: 3 × 2 inches at 1440 units per inch
// (288 × 192 pixels at 96 dpi). Flowers are added until the file holds at least minRecords
// records.
inline Bytes ClipArtWmf(int minRecords = 0, int unitsPerInch = 1440) {
  TWmfBuilder wmf(4320, 2880, unitsPerInch);
  wmf.Add(U_WMRSETBKMODE_set(U_TRANSPARENT));
  wmf.Pen(Rgb(0, 0, 0), 1, U_PS_NULL).Brush(Rgb(170, 215, 255)).Rect(0, 0, 4320, 2000);   // sky
  wmf.Brush(Rgb(90, 170, 70)).Rect(0, 2000, 4320, 2880);                                   // grass
  wmf.Brush(Rgb(255, 210, 0)).Add(U_WMRELLIPSE_set(U_RECT16{3300, 200, 3900, 800}));      // sun
  wmf.Pen(Rgb(255, 170, 0), 30);
  for (int i = 0; i < 8; ++i) {
    const double a = i * M_PI / 4;
    wmf.Add(U_WMRMOVETO_set(U_POINT16{int16_t(3600 + 380 * std::cos(a)), int16_t(500 + 380 * std::sin(a))}));
    wmf.Add(U_WMRLINETO_set(U_POINT16{int16_t(3600 + 520 * std::cos(a)), int16_t(500 + 520 * std::sin(a))}));
  }
  wmf.Pen(Rgb(60, 40, 30), 20).Brush(Rgb(230, 200, 160)).Rect(900, 1300, 2300, 2300);     // walls
  wmf.Brush(Rgb(180, 50, 40)).Polygon({{750, 1350}, {1600, 600}, {2450, 1350}});           // roof
  wmf.Brush(Rgb(120, 70, 30)).Add(U_WMRROUNDRECT_set(120, 120, U_RECT16{1450, 1750, 1750, 2300}));  // door
  wmf.Brush(Rgb(60, 120, 200), U_BS_HATCHED, U_HS_CROSS).Rect(1050, 1500, 1350, 1750);   // windows
  wmf.Rect(1850, 1500, 2150, 1750);
  wmf.Pen(Rgb(0, 0, 0), 1, U_PS_NULL).Brush(Rgb(110, 70, 40)).Rect(3050, 1600, 3250, 2300);  // trunk
  wmf.Brush(Rgb(40, 130, 50)).Add(U_WMRELLIPSE_set(U_RECT16{2700, 900, 3600, 1800}));    // crown
  wmf.Add(U_WMRSETTEXTCOLOR_set(Rgb(20, 20, 90))).Font(-300, 0, U_FW_BOLD);
  char text[] = "Home";
  wmf.Add(U_WMRTEXTOUT_set(U_POINT16{200, 200}, text));
  // About 40 records so far; flowers of four records each in the grass.
  wmf.Pen(Rgb(120, 60, 0), 4);
  for (int i = 0, records = 40; records < minRecords - 1; ++i, records += 4) {
    const int16_t x = int16_t(40 + (i * 131) % 4240), y = int16_t(2050 + (i * 67) % 780);
    wmf.Brush(i % 2 ? Rgb(250, 90, 120) : Rgb(255, 240, 80));
    wmf.Add(U_WMRELLIPSE_set(U_RECT16{x, y, int16_t(x + 36), int16_t(y + 36)}));
    wmf.DeleteLastBrush();
  }
  return wmf.Finish();
}

}  // namespace velora::mftest
