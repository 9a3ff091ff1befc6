// The format registry: the twelve built-in formats, in identifier order, for extension lookup,
// followed by any external formats the program appends with their own procedures; and the
// lookups of the built-in formats' descriptors.
#include <algorithm>
#include <string_view>

#include "format_descriptor.h"
#include "io_private.h"
#include "velora_io.h"

namespace velora {

namespace {

// The registry's entries of the built-in formats: names and extensions only, since the
// front dispatches them through their descriptors.
std::vector<TFileFormatInfo> BuiltinFormats() {
  std::vector<TFileFormatInfo> entries;
  for (const TVLFormatDescriptor* format : VLBuiltinFormats())
    entries.push_back({format->FileType, format->FullName, format->Extensions});
  return entries;
}

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

// Whether the ';'-separated list names the extension, letter case aside. Plain scanning: a
// folder scan asks this for every file and every format.
bool ListsExtension(std::string_view extensions, const std::string& extension) {
  std::string_view rest = extensions;
  while (!rest.empty()) {
    const size_t end = rest.find(';');
    if (SameLetters(rest.substr(0, end), extension)) return true;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace

const TVLFormatDescriptor* VLFindBuiltinFormat(int32_t fileType) {
  for (const TVLFormatDescriptor* format : VLBuiltinFormats())
    if (format->FileType == fileType) return format;
  return nullptr;
}

const TVLFormatDescriptor* VLFindBuiltinFormatByExtension(const std::string& extension, TVLExtensionUse use) {
  if (extension.empty()) return nullptr;
  for (const TVLFormatDescriptor* format : VLBuiltinFormats()) {
    const char* list = use == TVLExtensionUse::euLoad ? (format->LoadExtensions ? format->LoadExtensions : format->Extensions)
                                                    : format->SaveExtensions;
    if (list && ListsExtension(list, extension)) return format;
  }
  return nullptr;
}

TVLLeadBytes::TVLLeadBytes(TVLStream& stream) { n = io_detail::PeekBytes(stream, b, sizeof b); }

std::string TVLLeadBytes::Text(int count) const { return io_detail::BytesAsText(b, int(std::min<int64_t>(count, n))); }

std::vector<TFileFormatInfo>& FileFormats() {
  static std::vector<TFileFormatInfo> formats = BuiltinFormats();
  return formats;
}

void RegisterFileFormat(const TFileFormatInfo& info) {
  TFileFormatInfo entry = info;
  // The record's texts are short strings of at most 80 characters.
  if (entry.FullName.size() > 80) entry.FullName.resize(80);
  if (entry.Extensions.size() > 80) entry.Extensions.resize(80);
  FileFormats().push_back(std::move(entry));
}

void UnregisterFileFormat(int32_t fileType) {
  auto& formats = FileFormats();
  for (auto it = formats.begin(); it != formats.end(); ++it)
    if (it->FileType == fileType && !VLFindBuiltinFormat(fileType)) {
      formats.erase(it);
      return;
    }
}

const TFileFormatInfo* FindFileFormatByExtension(const std::string& extension) {
  if (extension.empty()) return nullptr;
  for (const auto& entry : FileFormats())
    if (ListsExtension(entry.Extensions, extension)) return &entry;
  return nullptr;
}

const TFileFormatInfo* FindFileFormat(int32_t fileType) {
  for (const auto& entry : FileFormats())
    if (entry.FileType == fileType) return &entry;
  return nullptr;
}

namespace io_detail {

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

bool SameTextCI(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }

std::string ExtensionOf(const std::string& name) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return name.substr(dot + 1);
}

int64_t PeekBytes(TVLStream& stream, void* buffer, int64_t count) {
  int64_t start = stream.Position();
  int64_t got = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (got < count) {
    int64_t n = stream.Read(p + got, count - got);
    if (n <= 0) break;
    got += n;
  }
  stream.SetPosition(start);
  return got;
}

std::string BytesAsText(const uint8_t* bytes, int count) {
  std::string text;
  for (int i = 0; i < count && bytes[i] != 0; ++i) text += char(bytes[i]);
  return text;
}

bool ReadStreamHeader(TVLStream& stream, TStreamHeader& header) {
  int64_t got = 0;
  while (got < kStreamHeaderSize) {
    int64_t n = stream.Read(header.raw + got, kStreamHeaderSize - got);
    if (n <= 0) return false;
    got += n;
  }
  header.magic = BytesAsText(header.raw, 5);
  header.count = uint32_t(header.raw[8]) | uint32_t(header.raw[9]) << 8 | uint32_t(header.raw[10]) << 16 |
                 uint32_t(header.raw[11]) << 24;
  return true;
}

void WriteStreamHeader(TVLStream& stream, const char magic[4], uint32_t count) {
  stream.WriteBuffer(magic, 4);
  stream.WriteU32LE(0);
  stream.WriteU32LE(count);
}

}  // namespace io_detail
}  // namespace velora
