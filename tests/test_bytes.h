// Little-endian byte builders and whole-file byte I/O, shared by every test that writes a
// fixture byte by byte or reads back what a writer or the tool produced.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace velora::testbytes {

using Bytes = std::vector<uint8_t>;

inline void PutU16(Bytes& b, unsigned v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void PutU32(Bytes& b, uint32_t v) {
  PutU16(b, v & 0xFFFF);
  PutU16(b, v >> 16);
}
inline void Append(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
inline Bytes FromString(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes ReadFileBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::filesystem::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

}  // namespace velora::testbytes
