// Whole-file reading on top of PlatformOpenForReading; each system's file
// layer builds it with its own opening.
#include <cstdio>
#include <string>

#include "host/files.h"
#include "host/own_folder.h"

namespace {

using Opener = std::FILE* (*)(const char*, unsigned long long, OpenFailure*);

OpenFailure ReadWhole(Opener open, const char* path, unsigned long long maxBytes,
                      std::string* text) {
  text->clear();
  OpenFailure failure = OpenFailure::Failed;
  std::FILE* file = open(path, maxBytes, &failure);
  if (file == nullptr) return failure;
  char chunk[16384];
  std::size_t count;
  OpenFailure result = OpenFailure::None;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    // a file still growing after it was opened is bounded all the same
    if (text->size() + count > maxBytes) {
      result = OpenFailure::TooLarge;
      break;
    }
    text->append(chunk, count);
  }
  if (result == OpenFailure::None && std::ferror(file) != 0) result = OpenFailure::Failed;
  std::fclose(file);
  if (result != OpenFailure::None) text->clear();
  return result;
}

}  // namespace

OpenFailure ReadWholeFile(const char* path, unsigned long long maxBytes, std::string* text) {
  return ReadWhole(PlatformOpenForReading, path, maxBytes, text);
}

OpenFailure ReadWholeRegularFile(const char* path, unsigned long long maxBytes, std::string* text) {
  return ReadWhole(PlatformOpenRegularForReading, path, maxBytes, text);
}
