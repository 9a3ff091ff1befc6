/* libtiff's side of compare_tiff.sh: each file named is read whole, best of 5 in processor
 * time, two ways: into RGBA rows by TIFFReadRGBAImageOriented (what tiff2rgba does), and as its
 * decoded strips by TIFFReadEncodedStrip (the file's own samples, predictor undone: for a
 * bilevel page the 1-bit rows our reader gives too). Prints "NAME RGBA_MS STRIPS_MS" per file. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <tiffio.h>

static double CpuMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static int ReadRgba(TIFF *t) {
  uint32_t w = 0, h = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  uint32_t *raster = (uint32_t *)malloc((size_t)w * h * 4);
  const int ok = raster && TIFFReadRGBAImageOriented(t, w, h, raster, ORIENTATION_TOPLEFT, 0);
  free(raster);
  return ok;
}

static int ReadStrips(TIFF *t) {
  const tmsize_t stripSize = TIFFStripSize(t);
  const uint32_t strips = TIFFNumberOfStrips(t);
  uint8_t *image = (uint8_t *)malloc((size_t)stripSize * strips);
  int ok = image != NULL;
  for (uint32_t s = 0; ok && s < strips; ++s) ok = TIFFReadEncodedStrip(t, s, image + (size_t)s * stripSize, -1) >= 0;
  free(image);
  return ok;
}

static double Best(const char *path, int (*read)(TIFF *)) {
  double best = 1e30;
  for (int run = 0; run < 5; ++run) {
    const double t0 = CpuMs();
    TIFF *t = TIFFOpen(path, "r");
    if (!t || !read(t)) exit(1);
    TIFFClose(t);
    const double ms = CpuMs() - t0;
    if (ms < best) best = ms;
  }
  return best;
}

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) printf("%s %.1f %.1f\n", argv[i], Best(argv[i], ReadRgba), Best(argv[i], ReadStrips));
  return 0;
}
