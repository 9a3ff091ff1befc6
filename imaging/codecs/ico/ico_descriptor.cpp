// Icons and cursors as the I/O front sees them: one directory layout, told apart by its type
// field in content and by the extension in file names.
#include "ico_codec.h"

namespace velora {

namespace {

bool HasIconDirectory(TVLStream& stream, int64_t) { return IsIcoStream(stream); }
bool HasCursorDirectory(TVLStream& stream, int64_t) { return IsCurStream(stream); }

void ReadIco(const TVLReadJob& job) {
  IcoReadStream(job.stream, job.bitmap, job.params, job.alphaMask, job.progress, job.headerOnly);
}
void ReadCur(const TVLReadJob& job) {
  CurReadStream(job.stream, job.bitmap, job.params, job.alphaMask, job.progress, job.headerOnly);
}

constexpr TVLSignature kIcoSignatures[] = {{11, HasIconDirectory}};
constexpr TVLSignature kCurSignatures[] = {{12, HasCursorDirectory}};

}  // namespace

constinit const TVLFormatDescriptor kIcoDescriptor{
    .FileType = ioICO,
    .Name = "ICO",
    .FullName = "Windows Icon",
    .Extensions = "ICO",
    .Signatures = kIcoSignatures,
    .Read = ReadIco,
    .HasPages = true,
    .ViewDpiAfterFile = true,
};

constinit const TVLFormatDescriptor kCurDescriptor{
    .FileType = ioCUR,
    .Name = "CUR",
    .FullName = "Windows Cursor",
    .Extensions = "CUR",
    .Signatures = kCurSignatures,
    .Read = ReadCur,
    .HasPages = true,
    .ViewDpiAfterFile = true,
};

}  // namespace velora
