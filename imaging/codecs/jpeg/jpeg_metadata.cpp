// The JPEG metadata around the codec: IPTC records in APP13 (read after every JPEG read,
// written before every JPEG write when changed) and the EXIF block of APP1.
#include <cstring>

#include "jpeg_codec.h"

namespace velora {

namespace {
constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kApp13 = 0xED;

bool IsExifBlock(const uint8_t* data, int size) { return size >= 4 && std::memcmp(data, "Exif", 4) == 0; }
}  // namespace

void ApplyJpegMetadata(TIOParamsVals& params) {
  const TVLMarkerList& markers = params.JpegMarkers;
  const int iptc = markers.IndexOf(kApp13);
  if (iptc >= 0) params.IptcInfo.ParseIPTC(markers.Data(iptc), markers.Size(iptc));
  for (int i = 0; i < markers.Count(); ++i)
    if (markers.Code(i) == kApp1 && IsExifBlock(markers.Data(i), markers.Size(i))) {
      ApplyJpegExifBlock(params, markers.Data(i), markers.Size(i));
      break;
    }
}

void ApplyJpegExifBlock(TIOParamsVals&, const uint8_t*, int64_t) {
  // The EXIF fields come from the TIFF reader run over the block (main IFD with its EXIF
  // sub-IFD, then the thumbnail IFD), followed by the resolution-from-EXIF rule. Without a
  // TIFF reader to decode it, a JPEG's EXIF block leaves the fields as they are.
}

void PrepareJpegMarkers(TIOParamsVals& params) {
  if (!params.IptcInfo.Modified) return;
  const std::vector<uint8_t> app13 = params.IptcInfo.BuildIPTC();
  const int i = params.JpegMarkers.IndexOf(kApp13);
  if (i >= 0)
    params.JpegMarkers.Replace(i, kApp13, int(app13.size()), app13.data());
  else
    params.JpegMarkers.Add(kApp13, app13.data(), int(app13.size()));
}

}  // namespace velora
