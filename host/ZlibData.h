// The zlib data format (RFC 1950 around RFC 1951 deflate) as PNG's iCCP and compressed iTXt
// chunks hold it, and PNG's chunk checksum. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vg::host {

// Decompresses a zlib stream. false when it is damaged (bad header, code, distance, length
// or checksum), truncated, or would give more than maxOut bytes.
bool ZlibInflate(std::string_view in, size_t maxOut, std::string* out);

// A zlib stream of stored (uncompressed) blocks: valid for every reader, and small profiles
// and packets do not need more.
std::string ZlibStore(std::string_view data);

// A compressed zlib stream: greedy LZ77 matching against the last position of each 4-byte
// hash, and a dynamic Huffman code per block. Fast rather than small; meant for image rows.
// Data of several megabytes is cut into parts compressed on up to `threads` threads (each
// part with its own window, joined on byte boundaries).
std::string ZlibCompress(std::string_view data, int threads = 1);

// The CRC-32 PNG chunks carry (of type and data).
uint32_t Crc32(std::string_view data, uint32_t crc = 0);

}  // namespace vg::host
