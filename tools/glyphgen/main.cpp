// Writes the surface's glyph table: glyphgen FONT UPPER_FONT OUTPUT, where
// UPPER_FONT may be "" for none.
#include <cstdio>
#include <string>

#include "tools/glyphgen/glyphgen.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s FONT UPPER_FONT OUTPUT\n", argv[0]);
    return 2;
  }
  std::string error;
  const std::vector<unsigned char> table = MakeGlyphTable(argv[1], argv[2], error);
  if (table.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::FILE* file = std::fopen(argv[3], "wb");
  if (file == nullptr) {
    std::perror(argv[3]);
    return 1;
  }
  const bool written = std::fwrite(table.data(), 1, table.size(), file) == table.size();
  if (std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "%s: write failed\n", argv[3]);
    return 1;
  }
  std::printf("%s: %zu bytes\n", argv[3], table.size());
  return 0;
}
