// Recognition of a format by content (every test reads from the current position and puts it
// back) and by file, with the extension check against the registry.
#include <algorithm>
#include <vector>

#include "format_descriptor.h"
#include "io_private.h"
#include "velora_io.h"

namespace velora {

namespace {

// Runs a content test and puts the position back whatever the test did.
template <typename Test>
bool Recognised(TVLStream& stream, int64_t position, Test test) {
  bool yes = test(stream);
  stream.SetPosition(position);
  return yes;
}

struct TRankedTest {
  int rank;
  TVLContentTest test;
  int32_t fileType;
};

// The content tests of every built-in format in their one order.
const std::vector<TRankedTest>& DetectionOrder() {
  static const std::vector<TRankedTest> order = [] {
    std::vector<TRankedTest> tests;
    for (const TVLFormatDescriptor* format : VLBuiltinFormats())
      for (const TVLSignature& signature : format->Signatures)
        tests.push_back({signature.rank, signature.test, format->FileType});
    std::stable_sort(tests.begin(), tests.end(), [](const auto& a, const auto& b) { return a.rank < b.rank; });
    return tests;
  }();
  return order;
}

}  // namespace

namespace io_detail {

bool OwnTestAccepts(TVLStream& stream, const TVLFormatDescriptor& format) {
  int64_t position = 0;
  try {
    const int64_t size = stream.Size();
    position = stream.Position();
    for (const TVLSignature& signature : format.Signatures)
      if (Recognised(stream, position, [&](TVLStream& s) { return signature.test(s, size); })) return true;
  } catch (...) {
    try {
      stream.SetPosition(position);
    } catch (...) {
    }
  }
  return false;
}

const TVLFormatDescriptor* ContentOverName(TVLStream& stream, const TVLFormatDescriptor& named, int32_t detected) {
  // A format without a content test cannot refuse, and icons and cursors share one layout.
  if (named.Signatures.empty() || detected == named.FileType) return nullptr;
  if ((detected == ioICO || detected == ioCUR) && (named.FileType == ioICO || named.FileType == ioCUR)) return nullptr;
  const TVLFormatDescriptor* content = VLFindBuiltinFormat(detected);
  if (!content || content->MetafileImport || OwnTestAccepts(stream, named)) return nullptr;
  return content;
}

}  // namespace io_detail

int32_t TVeloraIO::DetectStreamFormat(TVLStream& stream) {
  int64_t position = 0;
  try {
    const int64_t size = stream.Size();
    position = stream.Position();
    // Formats appended to the registry are tried first: they bring tests of their own.
    for (const auto& entry : FileFormats())
      if (entry.TestProc && Recognised(stream, position, entry.TestProc)) return entry.FileType;
    for (const TRankedTest& t : DetectionOrder())
      if (Recognised(stream, position, [&](TVLStream& s) { return t.test(s, size); })) return t.fileType;
  } catch (...) {
    // A test that fails on the stream ends detection: the format stays unknown.
    try {
      stream.SetPosition(position);
    } catch (...) {
    }
  }
  return ioUnknown;
}

int32_t TVeloraIO::DetectFileFormat(const std::string& name, bool verify) {
  std::string why;
  return verify ? DetectVerified(name, why) : DetectContent(name, why);
}

int32_t TVeloraIO::DetectContent(const std::string& name, std::string& why) {
  try {
    TVLFileStream file(name, TVLFileStream::fmOpenRead);
    const int32_t detected = DetectStreamFormat(file);
    if (detected == ioUnknown) why = io_detail::kUnrecognised;
    return detected;
  } catch (const std::exception& e) {
    why = e.what();
  } catch (...) {
  }
  return ioUnknown;
}

int32_t TVeloraIO::DetectVerified(const std::string& name, std::string& why) {
  const int32_t detected = DetectContent(name, why);
  const std::string extension = io_detail::ExtensionOf(name);
  if (detected == ioUnknown) {
    // Metafiles have no content test: their extension names them, and their header read
    // then decides whether the file is one.
    const TVLFormatDescriptor* named = VLFindBuiltinFormatByExtension(extension, TVLExtensionUse::euLoad);
    return named && named->MetafileImport ? named->FileType : ioUnknown;
  }
  const TFileFormatInfo* entry = FindFileFormatByExtension(extension);
  const TFileFormatInfo* content = FindFileFormat(detected);
  const std::string found = content ? content->FullName : std::to_string(detected);
  if (!entry) {
    why = "the extension \"" + extension + "\" names no format (the content is " + found + ")";
    return ioUnknown;
  }
  // Icons and cursors share one layout: the extension tells them apart.
  if (detected == ioICO || detected == ioCUR) return entry->FileType;
  if (entry->FileType == detected) return detected;
  // Files misnamed by other programs (a PNG saved as ".pbm") are read by their content when
  // the named format's own test refuses it; a content the named format also takes keeps the
  // name's format.
  const TVLFormatDescriptor* named = VLFindBuiltinFormat(entry->FileType);
  if (named) {
    try {
      TVLFileStream file(name, TVLFileStream::fmOpenRead);
      if (io_detail::ContentOverName(file, *named, detected)) return detected;
    } catch (...) {
    }
  }
  why = "its extension names " + entry->FullName + ", its content is " + found;
  return ioUnknown;
}

}  // namespace velora
