// The weighted sums of the two-pass resampler. Each output value is summed in contributor
// order in double precision, exactly as the plain loop would; the speed comes from computing
// many outputs at once (four lanes: blue, green, red and a spare, or several rows side by
// side) and from spreading row bands over the cores, never from regrouping a sum.
#include <algorithm>

#include "resample_private.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELORA_X86 1
#endif

namespace velora::resample_detail {

namespace {

void HorizontalSumsScalar(const TContributors& cx, const double* in, double* out, int dw) {
  for (int i = 0; i < dw; ++i) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int32_t k = cx.start[size_t(i)]; k < cx.start[size_t(i) + 1]; ++k) {
      const double w = cx.weight[size_t(k)];
      const double* p = in + 4 * int64_t(cx.index[size_t(k)]);
      s0 += w * p[0];
      s1 += w * p[1];
      s2 += w * p[2];
      s3 += w * p[3];
    }
    out[4 * i] = s0;
    out[4 * i + 1] = s1;
    out[4 * i + 2] = s2;
    out[4 * i + 3] = s3;
  }
}

void VerticalRowScalar(const TContributors& cy, int row, const uint8_t* const* rows, int n, TRounding rounding,
                       uint8_t* out) {
  const int32_t k0 = cy.start[size_t(row)], k1 = cy.start[size_t(row) + 1];
  for (int x = 0; x < n; ++x) {
    double s = 0;
    for (int32_t k = k0; k < k1; ++k) s += cy.weight[size_t(k)] * rows[cy.index[size_t(k)]][x];
    out[x] = ToByte(s, rounding);
  }
}

#ifdef VELORA_X86

__attribute__((target("avx2"))) void HorizontalSumsAvx2(const TContributors& cx, const double* in, double* out,
                                                         int dw) {
  const int32_t* start = cx.start.data();
  const int32_t* index = cx.index.data();
  const double* weight = cx.weight.data();
  int i = 0;
  // Two destination columns per step: two independent chains of additions keep the adder busy.
  for (; i + 1 < dw; i += 2) {
    __m256d a = _mm256_setzero_pd(), b = _mm256_setzero_pd();
    int32_t ka = start[i], kb = start[i + 1], ea = start[i + 1], eb = start[i + 2];
    while (ka < ea && kb < eb) {
      a = _mm256_add_pd(a, _mm256_mul_pd(_mm256_broadcast_sd(weight + ka), _mm256_loadu_pd(in + 4 * int64_t(index[ka]))));
      b = _mm256_add_pd(b, _mm256_mul_pd(_mm256_broadcast_sd(weight + kb), _mm256_loadu_pd(in + 4 * int64_t(index[kb]))));
      ++ka;
      ++kb;
    }
    for (; ka < ea; ++ka)
      a = _mm256_add_pd(a, _mm256_mul_pd(_mm256_broadcast_sd(weight + ka), _mm256_loadu_pd(in + 4 * int64_t(index[ka]))));
    for (; kb < eb; ++kb)
      b = _mm256_add_pd(b, _mm256_mul_pd(_mm256_broadcast_sd(weight + kb), _mm256_loadu_pd(in + 4 * int64_t(index[kb]))));
    _mm256_storeu_pd(out + 4 * int64_t(i), a);
    _mm256_storeu_pd(out + 4 * int64_t(i) + 4, b);
  }
  for (; i < dw; ++i) {
    __m256d a = _mm256_setzero_pd();
    for (int32_t k = start[i]; k < start[i + 1]; ++k)
      a = _mm256_add_pd(a, _mm256_mul_pd(_mm256_broadcast_sd(weight + k), _mm256_loadu_pd(in + 4 * int64_t(index[k]))));
    _mm256_storeu_pd(out + 4 * int64_t(i), a);
  }
}

// Clamp to 0..255 and round four sums to int32 lanes.
__attribute__((target("avx2"))) inline __m128i ClampRound(__m256d v, TRounding rounding) {
  v = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255));
  return rounding == TRounding::Truncate ? _mm256_cvttpd_epi32(v)
                                         : _mm256_cvtpd_epi32(_mm256_round_pd(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
}

__attribute__((target("avx2"))) inline __m256d Widen4(const uint8_t* p) {
  int32_t v;
  __builtin_memcpy(&v, p, 4);
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

__attribute__((target("avx2"))) void VerticalRowAvx2(const TContributors& cy, int row, const uint8_t* const* rows,
                                                     int n, TRounding rounding, uint8_t* out) {
  const int32_t k0 = cy.start[size_t(row)], k1 = cy.start[size_t(row) + 1];
  const int32_t* index = cy.index.data();
  const double* weight = cy.weight.data();
  int x = 0;
  // Sixteen outputs at a time, four chains of four lanes.
  for (; x + 16 <= n; x += 16) {
    __m256d a = _mm256_setzero_pd(), b = a, c = a, d = a;
    for (int32_t k = k0; k < k1; ++k) {
      const __m256d w = _mm256_broadcast_sd(weight + k);
      const uint8_t* p = rows[index[k]] + x;
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      a = _mm256_add_pd(a, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(bytes))));
      b = _mm256_add_pd(b, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(bytes, 4)))));
      c = _mm256_add_pd(c, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(bytes, 8)))));
      d = _mm256_add_pd(d, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(bytes, 12)))));
    }
    const __m128i ia = ClampRound(a, rounding), ib = ClampRound(b, rounding);
    const __m128i ic = ClampRound(c, rounding), id = ClampRound(d, rounding);
    const __m128i packed = _mm_packus_epi16(_mm_packus_epi32(ia, ib), _mm_packus_epi32(ic, id));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), packed);
  }
  for (; x < n; ++x) {
    double s = 0;
    for (int32_t k = k0; k < k1; ++k) s += weight[k] * rows[index[k]][x];
    out[x] = ToByte(s, rounding);
  }
}

__attribute__((target("avx2"))) void WidenRow3Avx2(const uint8_t* src, int sw, double* lanes) {
  int x = 0;
  for (; x + 1 < sw; ++x) _mm256_storeu_pd(lanes + 4 * int64_t(x), Widen4(src + 3 * int64_t(x)));
  for (; x < sw; ++x)
    for (int c = 0; c < 4; ++c) lanes[4 * int64_t(x) + c] = c < 3 ? src[3 * int64_t(x) + c] : 0;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

#endif

}  // namespace

void WidenRow3(const uint8_t* src, int sw, double* lanes) {
#ifdef VELORA_X86
  if (HasAvx2()) return WidenRow3Avx2(src, sw, lanes);
#endif
  for (int x = 0; x < sw; ++x)
    for (int c = 0; c < 4; ++c) lanes[4 * int64_t(x) + c] = c < 3 ? src[3 * int64_t(x) + c] : 0;
}

void HorizontalSums(const TContributors& cx, const double* in, double* out, int dw) {
#ifdef VELORA_X86
  if (HasAvx2()) return HorizontalSumsAvx2(cx, in, out, dw);
#endif
  HorizontalSumsScalar(cx, in, out, dw);
}

void VerticalRow(const TContributors& cy, int row, const uint8_t* const* rows, int n, TRounding rounding,
                 uint8_t* out) {
#ifdef VELORA_X86
  if (HasAvx2()) return VerticalRowAvx2(cy, row, rows, n, rounding, out);
#endif
  VerticalRowScalar(cy, row, rows, n, rounding, out);
}

}  // namespace velora::resample_detail
