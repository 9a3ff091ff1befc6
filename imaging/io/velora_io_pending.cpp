// Placeholder for the reading, writing and detection families until they land.
#include "velora_io.h"
namespace velora {
std::vector<TFileFormatInfo>& FileFormats() { static std::vector<TFileFormatInfo> f; return f; }
const TFileFormatInfo* FindFileFormatByExtension(const std::string&) { return nullptr; }
const TFileFormatInfo* FindFileFormat(int32_t) { return nullptr; }
void TVeloraIO::LoadFromFile(const std::string&) { Aborting = true; }
void TVeloraIO::LoadFromFileFormat(const std::string&, int32_t) { Aborting = true; }
void TVeloraIO::LoadFromStream(TVLStream&) { Aborting = true; }
void TVeloraIO::LoadFromStreamFormat(TVLStream&, int32_t) { Aborting = true; }
void TVeloraIO::SaveToFile(const std::string&) { Aborting = true; }
void TVeloraIO::SaveToStream(TVLStream&, int32_t) { Aborting = true; }
void TVeloraIO::ReadParamsFromFile(const std::string&) { Params_.FileType = 0; }
void TVeloraIO::ReadParamsFromFileFormat(const std::string&, int32_t) { Params_.FileType = 0; }
void TVeloraIO::ReadParamsFromStream(TVLStream&) { Params_.FileType = 0; }
void TVeloraIO::ReadParamsFromStreamFormat(TVLStream&, int32_t) { Params_.FileType = 0; }
void TVeloraIO::ImportMetafile(const std::string&, int, int) { Aborting = true; }
int32_t TVeloraIO::DetectStreamFormat(TVLStream&) { return 0; }
int32_t TVeloraIO::DetectFileFormat(const std::string&, bool) { return 0; }
void TVeloraIO::EqualizeDpi() {}
}  // namespace velora
