// The ICC profile of a JPEG: APP2 markers that begin "ICC_PROFILE\0", a sequence number
// and a count, the profile cut into as many pieces as a marker holds.
#include <algorithm>
#include <cstring>
#include <vector>

#include "jpeg_codec.h"

namespace velora {

namespace {

constexpr uint8_t kApp2 = 0xE2;
constexpr char kIccTag[] = "ICC_PROFILE";  // with its zero: 12 bytes
constexpr int kIccHeader = 14;              // the tag, the sequence number, the count
constexpr int kIccChunk = 65533 - kIccHeader;

bool IsIccMarker(const TVLMarkerList& markers, int i) {
  return markers.Code(i) == kApp2 && markers.Size(i) > kIccHeader &&
         std::memcmp(markers.Data(i), kIccTag, sizeof kIccTag) == 0;
}

}  // namespace

void ReadJpegIccProfile(TIOParamsVals& params) {
  const TVLMarkerList& markers = params.JpegMarkers;
  std::vector<int> bySequence;  // marker index per sequence number - 1
  int count = 0;
  bool consistent = true;
  for (int i = 0; i < markers.Count(); ++i) {
    if (!IsIccMarker(markers, i)) continue;
    const int sequence = markers.Data(i)[12], total = markers.Data(i)[13];
    if (count == 0) {
      count = total;
      bySequence.assign(size_t(total), -1);
    }
    if (total != count || sequence < 1 || sequence > count || bySequence[size_t(sequence - 1)] >= 0) {
      consistent = false;
      break;
    }
    bySequence[size_t(sequence - 1)] = i;
  }
  params.IccProfile.clear();
  for (int i : bySequence) consistent = consistent && i >= 0;
  if (!consistent) {
    // Pieces missing, repeated or numbered beyond their count: no profile can be trusted.
    params.IccProfileBroken = true;
    return;
  }
  for (int i : bySequence)
    params.IccProfile.insert(params.IccProfile.end(), markers.Data(i) + kIccHeader, markers.Data(i) + markers.Size(i));
}

void PrepareJpegIccMarkers(TIOParamsVals& params) {
  TVLMarkerList& markers = params.JpegMarkers;
  for (int i = markers.Count() - 1; i >= 0; --i)
    if (IsIccMarker(markers, i)) markers.Delete(i);
  const std::vector<uint8_t>& icc = params.IccProfile;
  const int count = int((icc.size() + kIccChunk - 1) / kIccChunk);
  if (count > 255) return;  // a profile of more than 16 MB has no place in a JPEG
  for (int n = 0; n < count; ++n) {
    const size_t at = size_t(n) * kIccChunk, size = std::min<size_t>(kIccChunk, icc.size() - at);
    std::vector<uint8_t> chunk(kIccTag, kIccTag + sizeof kIccTag);
    chunk.push_back(uint8_t(n + 1));
    chunk.push_back(uint8_t(count));
    chunk.insert(chunk.end(), icc.begin() + std::ptrdiff_t(at), icc.begin() + std::ptrdiff_t(at + size));
    markers.Add(kApp2, chunk.data(), int(chunk.size()));
  }
}

}  // namespace velora
