// HEIF reader: libheif parses the boxes, decodes the HEVC (or AV1) items, joins grids and
// applies the transformations; we pick the image, check it, and take its interleaved rows.
#include <libheif/heif.h>

#include <memory>
#include <string>
#include <vector>

#include "io/image_limits.h"
#include "io/isobmff_brands.h"
#include "io/library_decode.h"
#include "heif_codec.h"

namespace velora {

namespace {

struct TContextDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct THandleDeleter {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct TImageDeleter {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct TOptionsDeleter {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

bool Failed(const TVLReadJob& job, const heif_error& error) {
  if (error.code == heif_error_Ok) return false;
  job.progress.Fail(std::string("HEIF: ") + (error.message && *error.message ? error.message : "decoding failed"));
  return true;
}

// The file in memory (libheif reads it without a copy, so the bytes live as long as the
// context) and the handle of the image the record asks for.
struct THeifFile {
  std::vector<uint8_t> bytes;
  std::unique_ptr<heif_context, TContextDeleter> context;
  std::unique_ptr<heif_image_handle, THandleDeleter> handle;
};

// The top-level images with the primary one first.
std::vector<heif_item_id> PageOrder(heif_context* context) {
  const int count = heif_context_get_number_of_top_level_images(context);
  std::vector<heif_item_id> ids(size_t(std::max(count, 0)));
  if (!ids.empty()) ids.resize(size_t(heif_context_get_list_of_top_level_image_IDs(context, ids.data(), count)));
  heif_item_id primary = 0;
  if (heif_context_get_primary_image_ID(context, &primary).code == heif_error_Ok)
    for (size_t i = 0; i < ids.size(); ++i)
      if (ids[i] == primary) {
        ids.erase(ids.begin() + std::ptrdiff_t(i));
        ids.insert(ids.begin(), primary);
        break;
      }
  return ids;
}

std::vector<uint8_t> IccOf(const heif_image_handle* handle) {
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return {};
  std::vector<uint8_t> icc(heif_image_handle_get_raw_color_profile_size(handle));
  if (icc.empty() || heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok) return {};
  return icc;
}

bool OpenHeif(const TVLReadJob& job, THeifFile& file) {
  if (!VLReadJobBytes(job, "HEIF", file.bytes)) return false;
  file.context.reset(heif_context_alloc());
  if (!file.context) {
    job.progress.Fail("HEIF: out of memory");
    return false;
  }
  heif_context* context = file.context.get();
  if (Failed(job, heif_context_read_from_memory_without_copy(context, file.bytes.data(), file.bytes.size(), nullptr)))
    return false;
  const std::vector<heif_item_id> pages = PageOrder(context);
  TIOParamsVals& params = job.params;
  if (params.ImageIndex < 0 || size_t(params.ImageIndex) >= pages.size()) {
    job.progress.Fail("HEIF: image " + std::to_string(params.ImageIndex) + " asked, the file has " +
                      std::to_string(pages.size()));
    return false;
  }
  heif_image_handle* handle = nullptr;
  if (Failed(job, heif_context_get_image_handle(context, pages[size_t(params.ImageIndex)], &handle))) return false;
  file.handle.reset(handle);
  const int bits = heif_image_handle_get_luma_bits_per_pixel(handle);
  VLSetHeaderFacts(params, heif_image_handle_get_width(handle), heif_image_handle_get_height(handle),
                   bits > 0 ? bits : 8, heif_image_handle_has_alpha_channel(handle) != 0, false);
  params.ImageCount = int(pages.size());
  params.IccProfile = IccOf(handle);
  params.ExifOrientation = 0;
  return true;
}

bool CheckOpen(const TVLReadJob& job) {
  // HEVC has no densest coding worth bounding; libheif has checked that the items lie within
  // the file.
  const TVLOpenCheck check{"HEIF", job.params.Width, job.params.Height};
  return VLCheckOpen(check, job.headerOnly, job.bitmap, TPixelFormat::pf24bit, job.progress);
}

}  // namespace

bool HeifProbe(std::span<const uint8_t> lead) {
  const std::vector<std::string> brands = VLFtypBrands(lead);
  return VLHasBrand(brands, {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"}) &&
         !VLHasBrand(brands, {"avif", "avis"});
}

void HeifReadHeader(const TVLReadJob& job) {
  THeifFile file;
  if (OpenHeif(job, file)) CheckOpen(job);
}

void HeifReadPixels(const TVLReadJob& job) {
  THeifFile file;
  if (!OpenHeif(job, file) || !CheckOpen(job)) return;
  const bool alpha = heif_image_handle_has_alpha_channel(file.handle.get()) != 0;
  std::unique_ptr<heif_decoding_options, TOptionsDeleter> options(heif_decoding_options_alloc());
  heif_image* decoded = nullptr;
  if (Failed(job, heif_decode_image(file.handle.get(), &decoded, heif_colorspace_RGB,
                                    alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get())))
    return;
  std::unique_ptr<heif_image, TImageDeleter> image(decoded);
  int stride = 0;
  const uint8_t* rows = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
  TBitmap& bitmap = *job.bitmap;
  if (!rows || heif_image_get_width(decoded, heif_channel_interleaved) != bitmap.Width() ||
      heif_image_get_height(decoded, heif_channel_interleaved) != bitmap.Height()) {
    job.progress.Fail("HEIF: the decoded image is not of the declared size");
    return;
  }
  VLPrepareAlpha(bitmap, job.alphaMask);
  VLStoreRows8(rows, stride, alpha ? 4 : 3, 0, bitmap.Height(), bitmap, job.alphaMask);
  VLFinishAlpha(job.alphaMask, alpha);
}

}  // namespace velora
