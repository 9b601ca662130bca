// The surface as a PNG file (8-bit RGB), encoded here: rows unfiltered, a
// zlib stream of one deflate block with the fixed Huffman codes and greedy
// LZ77 matches, which shrinks a mostly black playfield to a few kilobytes.
#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "surface/surface.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}();

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(const Bytes& data) {
  constexpr std::uint32_t kModulus = 65521;
  constexpr std::size_t kRun = 5552;  // the most bytes before the sums can overflow
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (std::size_t start = 0; start < data.size(); start += kRun) {
    const std::size_t end = std::min(data.size(), start + kRun);
    for (std::size_t i = start; i < end; ++i) {
      a += data[i];
      b += a;
    }
    a %= kModulus;
    b %= kModulus;
  }
  return b << 16 | a;
}

void PutBigEndian(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<unsigned char>(value >> shift));
}

// Bits into bytes, least significant bit first, as deflate packs them.
class BitWriter {
 public:
  explicit BitWriter(Bytes& out) : out_(out) {}

  void Put(std::uint32_t value, int count) {
    bits_ |= value << used_;
    used_ += count;
    for (; used_ >= 8; used_ -= 8) {
      out_.push_back(static_cast<unsigned char>(bits_));
      bits_ >>= 8;
    }
  }

  // A Huffman code, which deflate stores from its most significant bit.
  void PutCode(std::uint32_t code, int length) {
    std::uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
    Put(reversed, length);
  }

  void Flush() {
    if (used_ > 0) out_.push_back(static_cast<unsigned char>(bits_));
    bits_ = 0;
    used_ = 0;
  }

 private:
  Bytes& out_;
  std::uint32_t bits_ = 0;
  int used_ = 0;
};

// The fixed literal/length code.
void PutSymbol(BitWriter& bits, int symbol) {
  if (symbol < 144) {
    bits.PutCode(0x30 + symbol, 8);
  } else if (symbol < 256) {
    bits.PutCode(0x190 + symbol - 144, 9);
  } else if (symbol < 280) {
    bits.PutCode(symbol - 256, 7);
  } else {
    bits.PutCode(0xC0 + symbol - 280, 8);
  }
}

constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                   33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void PutMatch(BitWriter& bits, int length, int distance) {
  int code = 28;
  while (kLengthBase[code] > length) --code;
  PutSymbol(bits, 257 + code);
  bits.Put(static_cast<std::uint32_t>(length - kLengthBase[code]), kLengthExtra[code]);
  code = 29;
  while (kDistanceBase[code] > distance) --code;
  bits.PutCode(static_cast<std::uint32_t>(code), 5);
  bits.Put(static_cast<std::uint32_t>(distance - kDistanceBase[code]), kDistanceExtra[code]);
}

// A zlib stream of the data: one final fixed-code deflate block; at each
// position the longest match among the last few with the same three bytes
// ahead within 32 KiB, else a literal.
Bytes Compress(const Bytes& data) {
  constexpr int kWindow = 32768;
  constexpr int kMinMatch = 3;
  constexpr int kMaxMatch = 258;
  constexpr int kHashBits = 15;
  constexpr int kChainSteps = 16;
  Bytes out = {0x78, 0x01};  // deflate, 32 KiB window, no dictionary
  BitWriter bits(out);
  bits.Put(1, 1);  // the final block
  bits.Put(1, 2);  // fixed Huffman codes

  const auto size = static_cast<std::int64_t>(data.size());
  std::vector<std::int32_t> head(std::size_t{1} << kHashBits, -1);
  std::vector<std::int32_t> previous(kWindow, -1);
  auto hashAt = [&](std::int64_t at) {
    const std::uint32_t v = data[at] | data[at + 1] << 8 | data[at + 2] << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
  };
  auto insert = [&](std::int64_t at) {
    if (at + kMinMatch > size) return;
    const std::uint32_t h = hashAt(at);
    previous[at % kWindow] = head[h];
    head[h] = static_cast<std::int32_t>(at);
  };

  for (std::int64_t at = 0; at < size;) {
    int bestLength = 0;
    std::int64_t bestDistance = 0;
    if (at + kMinMatch <= size) {
      const std::int64_t limit = std::min<std::int64_t>(kMaxMatch, size - at);
      std::int64_t candidate = head[hashAt(at)];
      for (int step = 0; step < kChainSteps && candidate >= 0 && at - candidate <= kWindow;
           ++step) {
        int length = 0;
        while (length < limit && data[candidate + length] == data[at + length]) ++length;
        if (length > bestLength) {
          bestLength = length;
          bestDistance = at - candidate;
          if (length == limit) break;
        }
        const std::int64_t next = previous[candidate % kWindow];
        if (next >= candidate) break;
        candidate = next;
      }
    }
    if (bestLength >= kMinMatch) {
      PutMatch(bits, bestLength, static_cast<int>(bestDistance));
      for (int i = 0; i < bestLength; ++i) insert(at + i);
      at += bestLength;
    } else {
      PutSymbol(bits, data[at]);
      insert(at);
      ++at;
    }
  }
  PutSymbol(bits, 256);  // end of block
  bits.Flush();
  PutBigEndian(out, Adler32(data));
  return out;
}

void PutChunk(Bytes& png, const char type[4], const Bytes& body) {
  PutBigEndian(png, static_cast<std::uint32_t>(body.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), body.begin(), body.end());
  PutBigEndian(png, Crc32(png.data() + start, png.size() - start));
}

Bytes EncodePng(const std::uint32_t* pixels) {
  Bytes raw;
  raw.reserve(static_cast<std::size_t>(kSurfaceHeight) * (1 + kSurfaceWidth * 3));
  for (int y = 0; y < kSurfaceHeight; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < kSurfaceWidth; ++x) {
      const std::uint32_t pixel = pixels[y * kSurfaceWidth + x];
      raw.push_back(static_cast<unsigned char>(pixel >> 16));
      raw.push_back(static_cast<unsigned char>(pixel >> 8));
      raw.push_back(static_cast<unsigned char>(pixel));
    }
  }
  Bytes header;
  PutBigEndian(header, kSurfaceWidth);
  PutBigEndian(header, kSurfaceHeight);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no interlace

  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", Compress(raw));
  PutChunk(png, "IEND", {});
  return png;
}

}  // namespace

bool WriteSurfacePng(const char* path) {
  if (path == nullptr || *path == '\0') return false;
  const Bytes png = EncodePng(SurfacePixels());
  // A UTF-8 name, which also reaches a Windows file system correctly.
  const std::filesystem::path file(std::u8string(reinterpret_cast<const char8_t*>(path)));
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  out.close();
  if (!out) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    return false;
  }
  return true;
}
