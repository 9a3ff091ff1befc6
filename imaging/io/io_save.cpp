// Saving: by extension and by identifier, with the common write sequence and the stream
// headers of TIFF, JPEG and PCX.
#include <filesystem>
#include <memory>
#include <new>

#include "format_descriptor.h"
#include "io_private.h"
#include "proc/pixel_formats.h"
#include "velora_io.h"

namespace velora {

namespace {

// Formats saved by name are those SaveToStream writes too.
const TVLFormatDescriptor* WrittenFormat(int32_t fileType) {
  const TVLFormatDescriptor* format = VLFindBuiltinFormat(fileType);
  return format && format->SaveExtensions ? format : nullptr;
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
  const std::string extension = io_detail::ExtensionOf(name);
  if (const TVLFormatDescriptor* format = VLFindBuiltinFormatByExtension(extension, TVLExtensionUse::euSave)) {
    SaveBuiltinFile(name, *format);
    return;
  }
  const TFileFormatInfo* entry = FindFileFormatByExtension(extension);
  if (entry && entry->WriteProc)
    SaveExternal(name, nullptr, entry);
  else
    Fail("no writer for the extension \"" + extension + "\"");
}

void TVeloraIO::SaveToStream(TVLStream& stream, int32_t fileType) {
  ClearAborting();
  if (const TVLFormatDescriptor* format = WrittenFormat(fileType)) {
    if (!Target_) return;
    MakeWritable(*Target_);
    CallWriter(stream, *format, false);
    return;
  }
  const TFileFormatInfo* entry = FindFileFormat(fileType);
  if (entry && entry->WriteProc)
    SaveExternal({}, &stream, entry);
  else
    Fail("no writer for format " + std::to_string(fileType));
}

int TVeloraIO::InsertToFile(const std::string& name) {
  ClearAborting();
  if (name.empty()) return 0;
  const std::string extension = io_detail::ExtensionOf(name);
  const TVLFormatDescriptor* format = VLFindBuiltinFormatByExtension(extension, TVLExtensionUse::euSave);
  if (!format || !format->InsertPage) {
    Fail("no page insertion for the extension \"" + extension + "\"");
    return 0;
  }
  if (!Target_) return 0;
  std::error_code error;
  if (std::filesystem::file_size(name, error) == 0 || error) {
    SaveBuiltinFile(name, *format);
    return Aborting ? 0 : 1;
  }
  MakeWritable(*Target_);
  TVLFileStream file(name, TVLFileStream::fmOpenReadWrite);  // raises "Cannot open file"
  TVLProgressRecord progress = MakeProgress();
  int pages = 0;
  try {
    pages = format->InsertPage(file, *Target_, Params_, progress);
    file.Flush();
  } catch (const EVLStreamError&) {
    progress.Fail(std::string(format->Name) + ": the stream refused the data");
  } catch (const std::bad_alloc&) {
    progress.Fail(std::string(format->Name) + ": out of memory");
  }
  return Aborting ? 0 : pages;
}

void TVeloraIO::SaveBuiltinFile(const std::string& name, const TVLFormatDescriptor& format) {
  ClearAborting();
  if (!Target_) return;
  MakeWritable(*Target_);
  TVLFileStream file(name, TVLFileStream::fmCreate);  // raises "Cannot create file"
  CallWriter(file, format, true);
}

void TVeloraIO::CallWriter(TVLStream& stream, const TVLFormatDescriptor& format, bool fileForm) {
  TVLProgressRecord progress = MakeProgress();
  const char* magic = fileForm || !StreamHeaders ? nullptr : format.StreamMagic;
  try {
    const int64_t start = stream.Position();
    if (magic) io_detail::WriteStreamHeader(stream, "\0\0\0\0", 0);  // placeholder
    if (format.Write)
      format.Write(stream, *Target_, Params_, AlphaMask_, progress);
    else
      progress.Fail(std::string(format.Name) + ": no writer for this format");
    // PCX leaves a failed image without its header; TIFF and JPEG always get one.
    if (magic && !(format.StreamHeaderRule == TVLStreamHeaderRule::shRequiredOld && Aborting)) {
      const int64_t end = stream.Position();
      stream.SetPosition(start);
      io_detail::WriteStreamHeader(stream, magic, uint32_t(end - start - io_detail::kStreamHeaderSize));
      stream.SetPosition(end);
    }
    stream.Flush();
  } catch (const EVLStreamError&) {
    // A write the stream refuses (a full disk) fails the save like a writer's own failure.
    progress.Fail(std::string(format.Name) + ": the stream refused the data");
  } catch (const std::bad_alloc&) {
    progress.Fail(std::string(format.Name) + ": out of memory");
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
    stream->Flush();
  } catch (const EVLStreamError&) {
    progress.Fail(entry->FullName + ": the stream refused the data");
  } catch (const std::bad_alloc&) {
    progress.Fail(entry->FullName + ": out of memory");
  }
}

}  // namespace velora
