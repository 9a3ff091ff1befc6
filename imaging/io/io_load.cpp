// Loading: by extension, by identifier, from streams; the common read sequence of the
// built-in readers with each format's particulars.
#include <memory>
#include <new>

#include "bitmap/view_link.h"
#include "colour_profile.h"
#include "format_descriptor.h"
#include "io_private.h"
#include "velora_io.h"

namespace velora {

namespace {

// Formats read through a codec; metafiles are imported, and files only.
const TVLFormatDescriptor* CodecFormat(const TVLFormatDescriptor* format) {
  return format && !format->MetafileImport ? format : nullptr;
}

const TFileFormatInfo* ExternalReaderFor(const TFileFormatInfo* entry) {
  return entry && entry->ReadProc ? entry : nullptr;
}

std::string Named(const TVLFormatDescriptor& format, const char* what) {
  return std::string(format.Name) + ": " + what;
}

}  // namespace

// Other programs save files under names of other formats (a PNG as ".pbm"): when the named
// format's own test refuses the content and another format's test takes it, the content wins.
const TVLFormatDescriptor& TVeloraIO::FormatToRead(const std::string& name, const TVLFormatDescriptor& named) {
  try {
    TVLFileStream file(name, TVLFileStream::fmOpenRead);
    if (named.Signatures.empty() || io_detail::OwnTestAccepts(file, named)) return named;
    if (const TVLFormatDescriptor* content = io_detail::ContentOverName(file, named, DetectStreamFormat(file)))
      return *content;
  } catch (...) {
    // The reader opens the file again and reports what is wrong with it.
  }
  return named;
}

// ---- generic operations ------------------------------------------------------------------

void TVeloraIO::LoadFromFile(const std::string& name) {
  ClearAborting();
  if (!Target_ || name.empty()) return;
  const std::string extension = io_detail::ExtensionOf(name);
  const TVLFormatDescriptor* format = VLFindBuiltinFormatByExtension(extension, TVLExtensionUse::euLoad);
  if (format && format->MetafileImport) {
    ImportMetafile(name, -1, -1);
  } else if (format) {
    LoadBuiltinFile(name, FormatToRead(name, *format));
  } else {
    Params_.FileName.clear();
    Params_.FileType = ioUnknown;
    Params_.IptcInfo.Clear();
    Params_.JpegMarkers.Clear();
    const TFileFormatInfo* entry = ExternalReaderFor(FindFileFormatByExtension(extension));
    if (entry)
      LoadExternal(name, nullptr, entry);
    else
      Fail("no reader for the extension \"" + extension + "\"");
  }
}

void TVeloraIO::LoadFromFileFormat(const std::string& name, int32_t fileType) {
  ClearAborting();
  const TVLFormatDescriptor* format = VLFindBuiltinFormat(fileType);
  if (format && format->MetafileImport) {
    ImportMetafile(name, -1, -1);
  } else if (format) {
    LoadBuiltinFile(name, *format);
  } else {
    LoadExternalFormat(name, nullptr, fileType);
  }
}

void TVeloraIO::LoadFromStream(TVLStream& stream) {
  ClearAborting();
  LoadFromStreamFormat(stream, DetectStreamFormat(stream));
}

void TVeloraIO::LoadFromStreamFormat(TVLStream& stream, int32_t fileType) {
  ClearAborting();
  // Metafiles are imported from files only; everything else may be an external format.
  if (const TVLFormatDescriptor* format = CodecFormat(VLFindBuiltinFormat(fileType)))
    LoadBuiltinStream(stream, *format);
  else
    LoadExternalFormat({}, &stream, fileType);
}

void TVeloraIO::LoadExternalFormat(const std::string& name, TVLStream* stream, int32_t fileType) {
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  Params_.FileName.clear();
  Params_.FileType = ioUnknown;
  const TFileFormatInfo* entry = ExternalReaderFor(FindFileFormat(fileType));
  if (!entry)
    Fail(fileType == ioUnknown ? std::string("not an image format this library reads")
                               : "no reader for format " + std::to_string(fileType));
  else if (Target_)
    LoadExternal(name, stream, entry);
}

// ---- the built-in readers' forms -----------------------------------------------------------

void TVeloraIO::LoadBuiltinFile(const std::string& name, const TVLFormatDescriptor& format) {
  ClearAborting();
  if (!Target_) return;
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  TVLFileStream file(name, TVLFileStream::fmOpenRead);  // raises "Cannot open file"
  if (format.NamesFileFirst) {
    Params_.FileName = name;
    Params_.FileType = format.FileType;
  }
  TVLProgressRecord progress = MakeProgress();
  if (format.BeforeFileRead) format.BeforeFileRead(Params_, BackgroundPixel());
  CallReader(file, format, true, false, progress);
  FinishRead(format, name, true);
}

void TVeloraIO::LoadBuiltinStream(TVLStream& stream, const TVLFormatDescriptor& format) {
  ClearAborting();
  if (!Target_) return;
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  TVLProgressRecord progress = MakeProgress();
  if (!CallReader(stream, format, false, false, progress)) return;
  FinishRead(format, {}, false);
}

bool TVeloraIO::SkipStreamHeader(TVLStream& stream, const TVLFormatDescriptor& format, int64_t& size,
                                 int64_t& resumeAt) {
  using io_detail::TStreamHeader;
  const std::string magic = format.StreamMagic ? format.StreamMagic : "";
  const int64_t start = stream.Position();
  TStreamHeader header;
  switch (format.StreamHeaderRule) {
    case TVLStreamHeaderRule::shNone: return true;
    case TVLStreamHeaderRule::shAlways:
      if (io_detail::ReadStreamHeader(stream, header) && header.magic == magic) {
        resumeAt = start + io_detail::kStreamHeaderSize + header.count;
      } else {
        stream.SetPosition(start);
      }
      return true;
    case TVLStreamHeaderRule::shRequired:
      if (!StreamHeaders) return true;
      if (!io_detail::ReadStreamHeader(stream, header) || header.magic != magic) break;
      resumeAt = start + io_detail::kStreamHeaderSize + header.count;
      return true;
    case TVLStreamHeaderRule::shRequiredOld: {
      if (!StreamHeaders) return true;
      const bool whole = io_detail::ReadStreamHeader(stream, header);
      if (!whole) {
        // The old form is only 4 bytes long.
        stream.SetPosition(start);
        if (io_detail::PeekBytes(stream, header.raw, 4) == 4) header.magic = io_detail::BytesAsText(header.raw, 4);
      }
      if (header.magic.substr(0, 3) != magic.substr(0, 3)) break;
      if (whole && header.magic == magic) {
        size = header.count;
        resumeAt = start + io_detail::kStreamHeaderSize + header.count;
      } else {
        stream.SetPosition(start + 4);
      }
      return true;
    }
  }
  Fail(Named(format, "stream header missing, \"") + magic + "\" expected");
  return false;
}

bool TVeloraIO::CallReader(TVLStream& stream, const TVLFormatDescriptor& format, bool fileForm, bool headerOnly,
                           TVLProgressRecord& progress) {
  // A file gives its size; a stream gives the data length of its header, or reads to its end.
  int64_t size = fileForm ? stream.Size() : 0;
  int64_t resumeAt = -1;  // where a stream header says the data ends
  // The profile is this file's alone: one left by an earlier read must not colour it.
  Params_.IccProfile.clear();
  Params_.IccProfileBroken = false;
  try {
    if (!fileForm && !SkipStreamHeader(stream, format, size, resumeAt)) return false;
    if (format.Read)
      format.Read({stream, size, Target_, AlphaMask_, Params_, headerOnly, progress});
    else
      progress.Fail(Named(format, "no reader for this format"));
    if (resumeAt >= 0) stream.SetPosition(resumeAt);
  } catch (const EVLStreamError&) {
    // Readers report bad data through Aborting; a short read that escapes one is the same.
    progress.Fail(Named(format, "premature end of data"));
  } catch (const std::bad_alloc&) {
    progress.Fail(Named(format, "out of memory"));
  }
  return true;
}

void TVeloraIO::FinishRead(const TVLFormatDescriptor& format, const std::string& name, bool fileForm) {
  // A failed read has no trustworthy resolution: leave the pixels as the reader left them.
  if (AutoAdjustDPI && !Aborting) EqualizeDpi();
  if (Aborting) KeepTargetConsistent();
  else if (Params_.ConvertToSRGB) VLConvertToOutputProfile(*Target_, Params_);
  if (format.AlphaReset) ResetAlpha();
  Params_.FileName = fileForm ? name : std::string();
  Params_.FileType = format.FileType;
  TRGB background;
  if (format.BackgroundAfterRead && format.BackgroundAfterRead(Params_, background))
    SetBackground(TRGBToTColor(background));
  if (AttachedVelora_ && (fileForm ? format.ViewDpiAfterFile : format.ViewDpiAfterStream))
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
    progress.Fail(entry->FullName + ": premature end of data");
  } catch (const std::bad_alloc&) {
    progress.Fail(entry->FullName + ": out of memory");
  }
  if (AutoAdjustDPI && !Aborting) EqualizeDpi();
  if (Aborting) KeepTargetConsistent();
  if (AttachedVelora_) AttachedVelora_->SetDpi(Params_.DpiX, Params_.DpiY);
  RefreshTarget();
}

}  // namespace velora
