// Writes the four effect files into the folder given on the command line.
#include <cstdio>
#include <string>

#include "tools/wavgen/wavgen.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  for (int id = 0; id < kWavgenEffects; ++id) {
    std::string path = std::string(argv[1]) + "/" + WavgenFileName(id);
    std::vector<unsigned char> bytes = WavgenMakeFile(id);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      std::perror(path.c_str());
      return 1;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
      std::fprintf(stderr, "%s: write failed\n", path.c_str());
      return 1;
    }
    std::printf("%s: %d frames, %.3f s\n", path.c_str(), WavgenFrames(id),
                static_cast<double>(WavgenFrames(id)) / kWavgenRate);
  }
  return 0;
}
