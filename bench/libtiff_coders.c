/* libtiff's side of compare_tiff_coders.sh, compiled by that script against libtiff-dev.
 *
 *   libtiff_coders DIR          makes the two pictures (a 6000 x 4000 photo-like RGB image and
 *                               a 2480 x 3508 text-like A4 page at 300 dpi), codes them with
 *                               libtiff in its default strips, writes pictures and strips to DIR
 *                               for bench_tiff_coders, and prints libtiff's times for decoding
 *                               the strips from memory into rows and for coding the rows into a
 *                               TIFF in memory, best of 5, in processor time.
 *   libtiff_coders --seeds DIR  writes small libtiff-made strips as fuzz seeds.
 *
 * Strip files: a count, then for each strip its row count, byte count and bytes (32-bit
 * little-endian numbers). Pictures: raw rows; the page 1 bit per pixel, 1 black. */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <tiffio.h>

enum { PhotoW = 6000, PhotoH = 4000, PageW = 2480, PageH = 3508, Runs = 5 };

/* ---- a TIFF in memory ---- */
typedef struct {
  unsigned char *data;
  toff_t size, cap, pos;
} MemFile;

static tmsize_t MemRead(thandle_t h, void *buf, tmsize_t n) {
  MemFile *m = (MemFile *)h;
  if (m->pos >= m->size) return 0;
  if ((toff_t)n > m->size - m->pos) n = (tmsize_t)(m->size - m->pos);
  memcpy(buf, m->data + m->pos, (size_t)n);
  m->pos += (toff_t)n;
  return n;
}
static tmsize_t MemWrite(thandle_t h, void *buf, tmsize_t n) {
  MemFile *m = (MemFile *)h;
  if (m->pos + (toff_t)n > m->cap) {
    toff_t cap = m->cap ? m->cap : 1 << 20;
    while (cap < m->pos + (toff_t)n) cap *= 2;
    m->data = realloc(m->data, (size_t)cap);
    m->cap = cap;
  }
  memcpy(m->data + m->pos, buf, (size_t)n);
  m->pos += (toff_t)n;
  if (m->pos > m->size) m->size = m->pos;
  return n;
}
static toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  MemFile *m = (MemFile *)h;
  m->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->pos + off : m->size + off;
  return m->pos;
}
static int MemClose(thandle_t h) { (void)h; return 0; }
static toff_t MemSize(thandle_t h) { return ((MemFile *)h)->size; }
static int MemMap(thandle_t h, void **base, toff_t *size) {
  *base = ((MemFile *)h)->data;
  *size = ((MemFile *)h)->size;
  return 1;
}
static void MemUnmap(thandle_t h, void *base, toff_t size) { (void)h, (void)base, (void)size; }

static TIFF *MemOpen(MemFile *m, const char *mode) {
  m->pos = 0;
  if (mode[0] == 'w') m->size = 0;
  return TIFFClientOpen("memory", mode, (thandle_t)m, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap,
                        MemUnmap);
}

/* ---- the pictures ---- */
static uint32_t rng = 2463534242u;
static uint32_t Next(void) {
  rng ^= rng << 13, rng ^= rng >> 17, rng ^= rng << 5;
  return rng;
}

static unsigned char *MakePhoto(void) {
  unsigned char *p = malloc((size_t)PhotoW * PhotoH * 3);
  for (int y = 0; y < PhotoH; ++y)
    for (int x = 0; x < PhotoW; ++x)
      for (int c = 0; c < 3; ++c) {
        double v = 128 + 70 * sin(x * 0.004 + c) * cos(y * 0.003 - c) + 30 * sin((x + y) * 0.02 + c);
        int n = (int)v + (int)(Next() % 8) - 4;
        p[((size_t)y * PhotoW + x) * 3 + c] = (unsigned char)(n < 0 ? 0 : n > 255 ? 255 : n);
      }
  return p;
}

/* Lines of glyph-like strokes: 30-pixel letters on a 50-pixel pitch inside page margins. */
static unsigned char *MakePage(void) {
  const int rb = (PageW + 7) / 8;
  unsigned char *p = calloc((size_t)rb * PageH, 1);
  for (int top = 150; top + 30 < PageH - 150; top += 50) {
    if (Next() % 9 == 0) continue; /* a blank line between paragraphs */
    for (int x = 200 + (int)(Next() % 40); x < PageW - 240;) {
      int w = 12 + (int)(Next() % 17);
      uint32_t shape = Next();
      for (int y = top; y < top + 30; ++y)
        for (int gx = x; gx < x + w; ++gx) {
          int cx = gx - x, cy = y - top;
          int on = ((shape & 1) && cx < 4) || ((shape & 2) && cy >= 13 && cy < 17) || ((shape & 4) && cy < 4) ||
                   ((shape & 8) && cx >= w - 4) || ((shape & 16) && cy >= 26) ||
                   ((shape & 32) && abs(cx * 30 - cy * w) < 3 * w);
          if (on) p[(size_t)y * rb + gx / 8] |= (unsigned char)(0x80 >> (gx % 8));
        }
      x += w + 4 + (Next() % 5 == 0 ? 18 : 0);
    }
  }
  return p;
}

/* ---- coding with libtiff ---- */
typedef struct {
  const char *name;
  int compression, options, width, height, bits, samples;
  const unsigned char *rows;
  int fillOrder; /* 0: libtiff's default */
} Picture;

static void SetTags(TIFF *t, const Picture *p) {
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p->width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, p->height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, p->bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, p->samples);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, p->samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_COMPRESSION, p->compression);
  if (p->compression == COMPRESSION_CCITTFAX3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, p->options);
  if (p->fillOrder) TIFFSetField(t, TIFFTAG_FILLORDER, p->fillOrder);
  if (p->bits == 1) TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0), TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
}

static size_t RowBytes(const Picture *p) { return ((size_t)p->width * p->bits * p->samples + 7) / 8; }

static void Encode(const Picture *p, MemFile *m) {
  TIFF *t = MemOpen(m, "w");
  SetTags(t, p);
  uint32_t rps;
  TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &rps);
  for (uint32_t s = 0, y = 0; y < (uint32_t)p->height; ++s, y += rps) {
    uint32_t rows = y + rps > (uint32_t)p->height ? (uint32_t)p->height - y : rps;
    TIFFWriteEncodedStrip(t, s, (void *)(p->rows + y * RowBytes(p)), (tmsize_t)(rows * RowBytes(p)));
  }
  TIFFClose(t);
}

static void Decode(MemFile *m, unsigned char *out) {
  TIFF *t = MemOpen(m, "rm");
  tstrip_t n = TIFFNumberOfStrips(t);
  tmsize_t at = 0;
  for (tstrip_t s = 0; s < n; ++s) at += TIFFReadEncodedStrip(t, s, out + at, (tmsize_t)-1);
  TIFFClose(t);
}

/* Processor time of this process: the machine is shared, and wall time would measure the load. */
static double Now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static void WriteU32(FILE *f, uint32_t v) {
  unsigned char b[4] = {(unsigned char)v, (unsigned char)(v >> 8), (unsigned char)(v >> 16), (unsigned char)(v >> 24)};
  fwrite(b, 1, 4, f);
}

/* The raw strips of a TIFF in memory, in the strip-file form. */
static void WriteStrips(MemFile *m, const char *path) {
  TIFF *t = MemOpen(m, "r");
  uint32_t rps, height;
  TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &rps);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
  FILE *f = fopen(path, "wb");
  tstrip_t n = TIFFNumberOfStrips(t);
  WriteU32(f, n);
  for (tstrip_t s = 0; s < n; ++s) {
    tmsize_t size = TIFFRawStripSize(t, s);
    unsigned char *raw = malloc((size_t)size);
    TIFFReadRawStrip(t, s, raw, size);
    WriteU32(f, s * rps + rps > height ? height - s * rps : rps);
    WriteU32(f, (uint32_t)size);
    fwrite(raw, 1, (size_t)size, f);
    free(raw);
  }
  fclose(f);
  TIFFClose(t);
}

static void Measure(const Picture *p, const char *dir) {
  MemFile m = {0};
  double bestEncode = 1e30, bestDecode = 1e30;
  for (int r = 0; r < Runs; ++r) {
    double t0 = Now();
    Encode(p, &m);
    double t = Now() - t0;
    if (t < bestEncode) bestEncode = t;
  }
  unsigned char *out = malloc(RowBytes(p) * p->height);
  for (int r = 0; r < Runs; ++r) {
    double t0 = Now();
    Decode(&m, out);
    double t = Now() - t0;
    if (t < bestDecode) bestDecode = t;
  }
  if (memcmp(out, p->rows, RowBytes(p) * p->height) != 0) fprintf(stderr, "%s: libtiff decoded other rows\n", p->name);
  char path[4096];
  snprintf(path, sizeof path, "%s/%s.strips", dir, p->name);
  WriteStrips(&m, path);
  printf("libtiff %s_encode %.2f\nlibtiff %s_decode %.2f\n", p->name, bestEncode, p->name, bestDecode);
  free(out);
  free(m.data);
}

static void WriteFile(const char *dir, const char *name, const void *data, size_t size) {
  char path[4096];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE *f = fopen(path, "wb");
  fwrite(data, 1, size, f);
  fclose(f);
}

/* ---- fuzz seeds: the selector bytes of fuzz_fax / fuzz_tiff_lzw, then a strip cut short ---- */
static void Seed(const char *dir, const char *name, const unsigned char *head, size_t headSize, const Picture *p,
                 size_t keep) {
  MemFile m = {0};
  Encode(p, &m);
  TIFF *t = MemOpen(&m, "r");
  tmsize_t size = TIFFRawStripSize(t, 0);
  unsigned char *buf = malloc(headSize + (size_t)size);
  memcpy(buf, head, headSize);
  TIFFReadRawStrip(t, 0, buf + headSize, size);
  TIFFClose(t);
  WriteFile(dir, name, buf, headSize + ((size_t)size < keep ? (size_t)size : keep));
  free(buf);
  free(m.data);
}

static void Seeds(const char *dir) {
  char fax[4096], lzw[4096];
  snprintf(fax, sizeof fax, "%s/fax", dir);
  snprintf(lzw, sizeof lzw, "%s/tiff_lzw", dir);
  /* A 256-pixel-wide strip of text from the page, and 96 rows of the photo's first 512 bytes. */
  const int w = 256, h = 64, rb = w / 8;
  unsigned char *page = MakePage(), *text = calloc((size_t)rb * h, 1);
  for (int y = 0; y < h; ++y) memcpy(text + y * rb, page + (size_t)(150 + y) * ((PageW + 7) / 8) + 25, (size_t)rb);
  static const struct {
    const char *name;
    int selector, compression, options;
  } faxSeeds[] = {{"libtiff_mh", 0, COMPRESSION_CCITTRLE, 0},
                  {"libtiff_g3_1d", 1, COMPRESSION_CCITTFAX3, 0},
                  {"libtiff_g3_1d_fillbits", 1 | 8, COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS},
                  {"libtiff_g3_2d", 2, COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING},
                  {"libtiff_g3_2d_fillbits", 2 | 8, COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS},
                  {"libtiff_g4", 3, COMPRESSION_CCITTFAX4, 0}};
  for (size_t i = 0; i < sizeof faxSeeds / sizeof faxSeeds[0]; ++i) {
    unsigned char head[3] = {(unsigned char)faxSeeds[i].selector, (w - 1) & 0xFF, (w - 1) >> 8};
    Picture p = {"seed", faxSeeds[i].compression, faxSeeds[i].options, w, h, 1, 1, text};
    char name[256];
    Seed(fax, faxSeeds[i].name, head, 3, &p, 3000);
    snprintf(name, sizeof name, "%s_cut", faxSeeds[i].name);
    Seed(fax, name, head, 3, &p, 97); /* ends inside a code */
  }
  /* Twelve full-width rows of the page: runs past the longest make-up code. */
  {
    unsigned char head[3] = {3, (PageW - 1) & 0xFF, (PageW - 1) >> 8};
    Picture p = {"seed", COMPRESSION_CCITTFAX4, 0, PageW, 12, 1, 1, page + (size_t)150 * ((PageW + 7) / 8)};
    Seed(fax, "libtiff_g4_a4_rows", head, 3, &p, 3000);
    head[0] = 2 | 4; /* Group 3 two-dimensional, FillOrder 2 */
    p.compression = COMPRESSION_CCITTFAX3, p.options = GROUP3OPT_2DENCODING, p.fillOrder = FILLORDER_LSB2MSB;
    Seed(fax, "libtiff_g3_2d_a4_rows_fillorder_2", head, 3, &p, 3000);
  }
  unsigned char *photo = malloc(512 * 96), *big = MakePhoto();
  for (int y = 0; y < 96; ++y) memcpy(photo + y * 512, big + (size_t)y * PhotoW * 3, 512);
  unsigned char head[2] = {(512 - 1) & 0xFF, (512 - 1) >> 8};
  Picture p = {"seed", COMPRESSION_LZW, 0, 512, 96, 8, 1, photo};
  Seed(lzw, "libtiff_photo_rows", head, 2, &p, 4000);
  memset(photo, 0x33, 512 * 96);
  Seed(lzw, "libtiff_constant_rows", head, 2, &p, 4000);
  free(page), free(text), free(photo), free(big);
}

int main(int argc, char **argv) {
  if (argc == 3 && strcmp(argv[1], "--seeds") == 0) {
    Seeds(argv[2]);
    return 0;
  }
  if (argc != 2) {
    fprintf(stderr, "usage: libtiff_coders DIR | libtiff_coders --seeds DIR\n");
    return 2;
  }
  const char *dir = argv[1];
  unsigned char *photo = MakePhoto(), *page = MakePage();
  WriteFile(dir, "photo.raw", photo, (size_t)PhotoW * PhotoH * 3);
  WriteFile(dir, "page.raw", page, (size_t)(PageW + 7) / 8 * PageH);
  Picture pictures[] = {{"photo_lzw", COMPRESSION_LZW, 0, PhotoW, PhotoH, 8, 3, photo},
                        {"page_g4", COMPRESSION_CCITTFAX4, 0, PageW, PageH, 1, 1, page},
                        {"page_g3_2d", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, PageW, PageH, 1, 1, page}};
  for (size_t i = 0; i < sizeof pictures / sizeof pictures[0]; ++i) Measure(&pictures[i], dir);
  free(photo), free(page);
  return 0;
}
