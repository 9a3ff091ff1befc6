/* libtiff's side of compare_tiff.sh: each file named is read whole into RGBA rows by
 * TIFFReadRGBAImageOriented (what tiff2rgba does), best of 5 in processor time.
 * Prints "NAME MS" per file. */
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

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
      const double t0 = CpuMs();
      TIFF *t = TIFFOpen(argv[i], "r");
      if (!t) return 1;
      uint32_t w = 0, h = 0;
      TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
      TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
      uint32_t *raster = (uint32_t *)malloc((size_t)w * h * 4);
      if (!raster || !TIFFReadRGBAImageOriented(t, w, h, raster, ORIENTATION_TOPLEFT, 0)) return 1;
      free(raster);
      TIFFClose(t);
      const double ms = CpuMs() - t0;
      if (ms < best) best = ms;
    }
    printf("%s %.1f\n", argv[i], best);
  }
  return 0;
}
