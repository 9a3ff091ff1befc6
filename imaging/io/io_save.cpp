// Saving: by extension and by identifier, with the common write sequence and the stream
// headers of TIFF, JPEG and PCX.
#include <memory>
#include <new>

#include "codecs/bmp/bmp_codec.h"
#include "codecs/gif/gif_codec.h"
#include "codecs/jpeg/jpeg_codec.h"
#include "codecs/pcx/pcx_codec.h"
#include "codecs/png/png_codec.h"
#include "codecs/pnm/pnm_codec.h"
#include "codecs/tga/tga_codec.h"
#include "codecs/tiff/tiff_codec.h"
#include "io_internal.h"
#include "proc/pixel_formats.h"
#include "velora_io.h"

namespace velora {

namespace {

bool IsBuiltinWriter(int32_t fileType) {
  switch (fileType) {
    case ioTIFF: case ioGIF: case ioJPEG: case ioPCX: case ioBMP: case ioPNG: case ioTGA: case ioPXM: return true;
    default: return false;
  }
}

int32_t WriterForExtension(const std::string& extension) {
  static const struct {
    const char* extension;
    int32_t fileType;
  } table[] = {
      {".jpg", ioJPEG}, {".jpeg", ioJPEG}, {".jpe", ioJPEG}, {".pcx", ioPCX},  {".gif", ioGIF},
      {".tif", ioTIFF}, {".tiff", ioTIFF}, {".fax", ioTIFF}, {".png", ioPNG},  {".bmp", ioBMP},
      {".dib", ioBMP},  {".rle", ioBMP},   {".tga", ioTGA},  {".targa", ioTGA}, {".vda", ioTGA},
      {".icb", ioTGA},  {".vst", ioTGA},   {".win", ioTGA},  {".pxm", ioPXM},  {".pbm", ioPXM},
      {".pgm", ioPXM},  {".ppm", ioPXM},
  };
  for (const auto& row : table)
    if (extension == row.extension) return row.fileType;
  return ioUnknown;
}

const char* StreamHeaderMagic(int32_t fileType) {
  switch (fileType) {
    case ioTIFF: return "TIFF";
    case ioJPEG: return "JFIF";
    case ioPCX: return "PCX2";
    default: return nullptr;
  }
}

// Writers take 24- and 1-bit bitmaps only.
void MakeWritable(TBitmap& bitmap) {
  const TPixelFormat pf = bitmap.PixelFormat();
  if (pf != TPixelFormat::pf24bit && pf != TPixelFormat::pf1bit) ConvertTo24Bit(bitmap);
}

}  // namespace

void TVeloraIO::SaveToFile(const std::string& name) {
  ClearAborting();
  if (name.empty()) return;
  std::string extension = io_detail::LowerExtension(name);
  int32_t fileType = WriterForExtension(extension);
  if (fileType != ioUnknown) {
    SaveBuiltinFile(name, fileType);
    return;
  }
  const TFileFormatInfo* entry = FindFileFormatByExtension(extension.empty() ? extension : extension.substr(1));
  if (entry && entry->WriteProc)
    SaveExternal(name, nullptr, entry);
  else
    Aborting = true;
}

void TVeloraIO::SaveToStream(TVLStream& stream, int32_t fileType) {
  ClearAborting();
  if (IsBuiltinWriter(fileType)) {
    if (!Target_) return;
    MakeWritable(*Target_);
    CallWriter(stream, fileType, false);
    return;
  }
  const TFileFormatInfo* entry = FindFileFormat(fileType);
  if (entry && entry->WriteProc)
    SaveExternal({}, &stream, entry);
  else
    Aborting = true;
}

void TVeloraIO::SaveBuiltinFile(const std::string& name, int32_t fileType) {
  ClearAborting();
  if (!Target_) return;
  MakeWritable(*Target_);
  TVLFileStream file(name, TVLFileStream::fmCreate);  // raises "Cannot create file"
  CallWriter(file, fileType, true);
}

void TVeloraIO::CallWriter(TVLStream& stream, int32_t fileType, bool fileForm) {
  TVLProgressRecord progress = MakeProgress();
  const char* magic = fileForm || !StreamHeaders ? nullptr : StreamHeaderMagic(fileType);
  try {
    const int64_t start = stream.Position();
    if (magic) io_detail::WriteStreamHeader(stream, "\0\0\0\0", 0);  // placeholder
    switch (fileType) {
      case ioTIFF: TiffWriteStream(stream, *Target_, Params_, progress); break;
      case ioGIF: GifWriteStream(stream, *Target_, Params_, progress); break;
      case ioJPEG:
        io_detail::PrepareJpegMarkers(Params_);
        JpegWriteStream(stream, *Target_, Params_, progress);
        break;
      case ioPCX: PcxWriteStream(stream, *Target_, Params_, progress); break;
      case ioBMP: BmpWriteStream(stream, *Target_, Params_, progress); break;
      case ioPNG: PngWriteStream(stream, *Target_, Params_, AlphaMask_, progress); break;
      case ioTGA: TgaWriteStream(stream, *Target_, Params_, progress); break;
      case ioPXM: PnmWriteStream(stream, *Target_, Params_, progress); break;
      default: Aborting = true; return;
    }
    // PCX leaves a failed image without its header; TIFF and JPEG always get one.
    if (magic && !(fileType == ioPCX && Aborting)) {
      const int64_t end = stream.Position();
      stream.SetPosition(start);
      io_detail::WriteStreamHeader(stream, magic, uint32_t(end - start - io_detail::kStreamHeaderSize));
      stream.SetPosition(end);
    }
  } catch (const EVLStreamError&) {
    // A write the stream refuses (a full disk) fails the save like a writer's own failure.
    Aborting = true;
  } catch (const std::bad_alloc&) {
    Aborting = true;
  }
}

void TVeloraIO::SaveExternal(const std::string& name, TVLStream* stream, const TFileFormatInfo* entry) {
  ClearAborting();
  if (!Target_) return;
  MakeWritable(*Target_);
  std::unique_ptr<TVLFileStream> file;
  if (!stream) {
    file = std::make_unique<TVLFileStream>(name, TVLFileStream::fmCreate);  // raises "Cannot create file"
    stream = file.get();
    Params_.FileName = name;
    Params_.FileType = entry->FileType;
  }
  TVLProgressRecord progress = MakeProgress();
  try {
    entry->WriteProc(*stream, *Target_, Params_, progress);
  } catch (const EVLStreamError&) {
    Aborting = true;
  } catch (const std::bad_alloc&) {
    Aborting = true;
  }
}

}  // namespace velora
