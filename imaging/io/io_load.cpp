// Loading: by extension, by identifier, from streams; the common read sequence of the
// built-in readers with each format's particulars.
#include <memory>
#include <new>

#include "codecs/bmp/bmp_codec.h"
#include "codecs/gif/gif_codec.h"
#include "codecs/ico/ico_codec.h"
#include "codecs/jpeg/jpeg_codec.h"
#include "codecs/pcx/pcx_codec.h"
#include "codecs/png/png_codec.h"
#include "codecs/pnm/pnm_codec.h"
#include "codecs/tga/tga_codec.h"
#include "codecs/tiff/tiff_codec.h"
#include "io_internal.h"
#include "velora_io.h"
#include "view_link.h"

namespace velora {

namespace {

// What the front does around each built-in reader.
struct TReadTraits {
  bool alphaReset;     // an attached alpha mask becomes opaque: the format carries none
  bool viewDpiFile;    // the view's SetDpi after a file read
  bool viewDpiStream;  // ... after a stream read
};

TReadTraits ReadTraits(int32_t fileType) {
  switch (fileType) {
    case ioTIFF: return {false, true, true};
    case ioGIF: return {false, true, false};
    case ioJPEG: return {true, true, true};
    case ioPCX: return {true, true, true};
    case ioBMP: return {true, true, false};
    case ioICO: return {false, true, false};
    case ioCUR: return {false, true, false};
    case ioPNG: return {false, true, true};
    case ioTGA: return {true, true, false};
    case ioPXM: return {true, false, false};
    default: return {false, false, false};
  }
}

bool IsBuiltinReader(int32_t fileType) {
  return (fileType >= ioTIFF && fileType <= ioPNG) || fileType == ioTGA || fileType == ioPXM;
}

// The reader chosen by a file name's extension (0 when there is none).
int32_t ReaderForExtension(const std::string& extension) {
  static const struct {
    const char* extension;
    int32_t fileType;
  } table[] = {
      {".jpg", ioJPEG}, {".jpeg", ioJPEG}, {".jpe", ioJPEG}, {".png", ioPNG},   {".tif", ioTIFF},
      {".tiff", ioTIFF}, {".fax", ioTIFF}, {".pcx", ioPCX},  {".gif", ioGIF},   {".wmf", ioWMF},
      {".emf", ioEMF},  {".bmp", ioBMP},   {".dib", ioBMP},  {".rle", ioBMP},   {".cur", ioCUR},
      {".ico", ioICO},  {".tga", ioTGA},   {".targa", ioTGA}, {".vda", ioTGA},  {".icb", ioTGA},
      {".vst", ioTGA},  {".win", ioTGA},   {".pxm", ioPXM},  {".ppm", ioPXM},   {".pgm", ioPXM},
      {".pbm", ioPXM},
  };
  for (const auto& row : table)
    if (extension == row.extension) return row.fileType;
  return ioUnknown;
}

const TFileFormatInfo* ExternalReaderFor(const TFileFormatInfo* entry) {
  return entry && entry->ReadProc ? entry : nullptr;
}

}  // namespace

// ---- generic operations ------------------------------------------------------------------

void TVeloraIO::LoadFromFile(const std::string& name) {
  Aborting = false;
  if (!Target_ || name.empty()) return;
  std::string extension = io_detail::LowerExtension(name);
  int32_t fileType = ReaderForExtension(extension);
  if (fileType == ioWMF || fileType == ioEMF) {
    ImportMetafile(name, -1, -1);
  } else if (fileType != ioUnknown) {
    LoadBuiltinFile(name, fileType);
  } else {
    Params_.FileName.clear();
    Params_.FileType = ioUnknown;
    Params_.IptcInfo.Clear();
    Params_.JpegMarkers.Clear();
    const TFileFormatInfo* entry =
        ExternalReaderFor(FindFileFormatByExtension(extension.empty() ? extension : extension.substr(1)));
    if (entry)
      LoadExternal(name, nullptr, entry);
    else
      Aborting = true;
  }
}

void TVeloraIO::LoadFromFileFormat(const std::string& name, int32_t fileType) {
  Aborting = false;
  if (fileType == ioWMF || fileType == ioEMF) {
    ImportMetafile(name, -1, -1);
  } else if (IsBuiltinReader(fileType)) {
    LoadBuiltinFile(name, fileType);
  } else {
    Params_.IptcInfo.Clear();
    Params_.JpegMarkers.Clear();
    Params_.FileName.clear();
    Params_.FileType = ioUnknown;
    const TFileFormatInfo* entry = ExternalReaderFor(FindFileFormat(fileType));
    if (!entry)
      Aborting = true;
    else if (Target_)
      LoadExternal(name, nullptr, entry);
  }
}

void TVeloraIO::LoadFromStream(TVLStream& stream) {
  Aborting = false;
  LoadFromStreamFormat(stream, DetectStreamFormat(stream));
}

void TVeloraIO::LoadFromStreamFormat(TVLStream& stream, int32_t fileType) {
  Aborting = false;
  if (IsBuiltinReader(fileType)) {
    LoadBuiltinStream(stream, fileType);
    return;
  }
  // Metafiles are imported from files only; everything else may be an external format.
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  Params_.FileName.clear();
  Params_.FileType = ioUnknown;
  const TFileFormatInfo* entry = ExternalReaderFor(FindFileFormat(fileType));
  if (!entry)
    Aborting = true;
  else if (Target_)
    LoadExternal({}, &stream, entry);
}

void TVeloraIO::ImportMetafile(const std::string&, int width, int height) {
  Aborting = false;
  if (width == 0 || height == 0) return;
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  // No metafile reader yet: the import fails like a metafile without size.
  Aborting = true;
}

// ---- the built-in readers' forms -----------------------------------------------------------

void TVeloraIO::LoadBuiltinFile(const std::string& name, int32_t fileType) {
  Aborting = false;
  if (!Target_) return;
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  TVLFileStream file(name, TVLFileStream::fmOpenRead);  // raises "Cannot open file"
  if (fileType == ioPCX) {
    Params_.FileName = name;
    Params_.FileType = ioPCX;
  }
  TVLProgressRecord progress = MakeProgress();
  if (fileType == ioPNG) Params_.PngBackground = AttachedVelora_ ? AttachedVelora_->BackgroundPixel() : TColorToTRGB(Background());
  CallReader(file, fileType, true, false, progress);
  FinishRead(fileType, name, true);
}

void TVeloraIO::LoadBuiltinStream(TVLStream& stream, int32_t fileType) {
  Aborting = false;
  if (!Target_) return;
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  TVLProgressRecord progress = MakeProgress();
  if (!CallReader(stream, fileType, false, false, progress)) return;
  FinishRead(fileType, {}, false);
}

bool TVeloraIO::CallReader(TVLStream& stream, int32_t fileType, bool fileForm, bool headerOnly,
                           TVLProgressRecord& progress) {
  using io_detail::TStreamHeader;
  TBitmap* target = Target_;
  int64_t resumeAt = -1;  // where a stream header says the data ends
  try {
    switch (fileType) {
      case ioTIFF: {
        if (!fileForm && StreamHeaders) {
          const int64_t start = stream.Position();
          TStreamHeader header;
          if (!io_detail::ReadStreamHeader(stream, header) || header.magic != "TIFF") {
            Aborting = true;
            return false;
          }
          resumeAt = start + io_detail::kStreamHeaderSize + header.count;
        }
        TiffReadStream(stream, target, Params_, AlphaMask_, headerOnly, progress);
        break;
      }
      case ioGIF: {
        int imageCount = 0;
        GifReadStream(stream, target, imageCount, AlphaMask_, headerOnly, progress, Params_);
        break;
      }
      case ioJPEG: {
        // A "JFIF" stream header is honoured whether or not StreamHeaders is set.
        if (!fileForm) {
          const int64_t start = stream.Position();
          TStreamHeader header;
          if (io_detail::ReadStreamHeader(stream, header) && header.magic == "JFIF")
            resumeAt = start + io_detail::kStreamHeaderSize + header.count;
          else
            stream.SetPosition(start);
        }
        JpegReadStream(stream, target, Params_, headerOnly, progress);
        io_detail::ApplyJpegMetadata(Params_);
        break;
      }
      case ioPCX: {
        int64_t length = stream.Size();
        if (!fileForm && StreamHeaders) {
          const int64_t start = stream.Position();
          TStreamHeader header;
          bool whole = io_detail::ReadStreamHeader(stream, header);
          if (!whole) {
            // The old form is only 4 bytes long.
            stream.SetPosition(start);
            if (io_detail::PeekBytes(stream, header.raw, 4) == 4) header.magic = io_detail::BytesAsText(header.raw, 4);
          }
          if (header.magic.substr(0, 3) != "PCX") {
            Aborting = true;
            return false;
          }
          if (whole && header.magic == "PCX2") {
            length = header.count;
            resumeAt = start + io_detail::kStreamHeaderSize + header.count;
          } else {
            stream.SetPosition(start + 4);
          }
        }
        PcxReadStream(stream, target, Params_, headerOnly, progress, length);
        break;
      }
      case ioBMP:
        BmpReadStream(stream, target, fileForm ? stream.Size() : 0, headerOnly, progress, Params_);
        break;
      case ioICO: IcoReadStream(stream, target, Params_, AlphaMask_, progress, headerOnly); break;
      case ioCUR: CurReadStream(stream, target, Params_, AlphaMask_, progress, headerOnly); break;
      case ioPNG: PngReadStream(stream, target, Params_, AlphaMask_, headerOnly, progress); break;
      case ioTGA: TgaReadStream(stream, target, Params_, headerOnly, progress); break;
      case ioPXM: PnmReadStream(stream, target, Params_, headerOnly, progress); break;
      default: return false;
    }
    if (resumeAt >= 0) stream.SetPosition(resumeAt);
  } catch (const EVLStreamError&) {
    // Readers report bad data through Aborting; a short read that escapes one is the same.
    Aborting = true;
  } catch (const std::bad_alloc&) {
    Aborting = true;
  }
  return true;
}

void TVeloraIO::FinishRead(int32_t fileType, const std::string& name, bool fileForm) {
  // A failed read has no trustworthy resolution: leave the pixels as the reader left them.
  if (AutoAdjustDPI && !Aborting) EqualizeDpi();
  const TReadTraits traits = ReadTraits(fileType);
  if (Aborting) KeepTargetConsistent();
  if (traits.alphaReset) ResetAlpha();
  Params_.FileName = fileForm ? name : std::string();
  Params_.FileType = fileType;
  if (fileType == ioGIF) SetBackground(TRGBToTColor(Params_.GifTransparent ? Params_.GifTranspColor : Params_.GifBackground));
  if (fileType == ioPNG) SetBackground(TRGBToTColor(Params_.PngBackground));
  if (AttachedVelora_ && (fileForm ? traits.viewDpiFile : traits.viewDpiStream))
    AttachedVelora_->SetDpi(Params_.DpiX, Params_.DpiY);
  RefreshTarget();
}

void TVeloraIO::ResetAlpha() {
  if (!AlphaMask_ || !Target_) return;
  AlphaMask_->Allocate(Target_->Width(), Target_->Height(), 8);
  AlphaMask_->Fill(255);
}

void TVeloraIO::KeepTargetConsistent() {
  // A reader that stopped half-way may leave a bitmap the views cannot show: give them a
  // 1 × 1 picture instead, and an alpha mask of the bitmap's size.
  if (!Target_) return;
  const TPixelFormat pf = Target_->PixelFormat();
  if (Target_->Empty() || (pf != TPixelFormat::pf24bit && pf != TPixelFormat::pf1bit)) {
    try {
      Target_->Reset(1, 1, TPixelFormat::pf24bit);
    } catch (const std::bad_alloc&) {
    }
  }
  if (AlphaMask_ && AlphaMask_->BitsPerPixel() != 0 &&
      (AlphaMask_->Width() != Target_->Width() || AlphaMask_->Height() != Target_->Height())) {
    AlphaMask_->Allocate(Target_->Width(), Target_->Height(), 8);
    AlphaMask_->Fill(255);
  }
}

// ---- external formats of the registry -------------------------------------------------------

void TVeloraIO::LoadExternal(const std::string& name, TVLStream* stream, const TFileFormatInfo* entry) {
  if (!Target_) return;
  std::unique_ptr<TVLFileStream> file;
  if (!stream) {
    file = std::make_unique<TVLFileStream>(name, TVLFileStream::fmOpenRead);  // raises "Cannot open file"
    stream = file.get();
    Params_.FileName = name;
  }
  Params_.FileType = entry->FileType;
  TVLProgressRecord progress = MakeProgress();
  try {
    entry->ReadProc(*stream, Target_, Params_, false, progress);
  } catch (const EVLStreamError&) {
    Aborting = true;
  } catch (const std::bad_alloc&) {
    Aborting = true;
  }
  if (AutoAdjustDPI && !Aborting) EqualizeDpi();
  if (Aborting) KeepTargetConsistent();
  if (AttachedVelora_) AttachedVelora_->SetDpi(Params_.DpiX, Params_.DpiY);
  RefreshTarget();
}

}  // namespace velora
