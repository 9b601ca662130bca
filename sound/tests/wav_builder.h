// Builds small WAV files byte by byte for the reader and engine tests, and a
// scratch folder to put them in.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline void PutLe16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}

inline void PutLe32(Bytes& out, std::uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

inline void PutText(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The 20-byte file header ending with the format chunk's length.
inline Bytes WavHeader(std::uint32_t formatLength, const std::string& riff = "RIFF",
                       const std::string& wave = "WAVE", const std::string& fmt = "fmt ") {
  Bytes out;
  PutText(out, riff);
  PutLe32(out, 0);  // never read
  PutText(out, wave);
  PutText(out, fmt);
  PutLe32(out, formatLength);
  return out;
}

struct FormatFields {
  std::uint32_t tag = 1;
  std::uint32_t channels = 2;
  std::uint32_t rate = 44100;
  std::uint32_t bits = 16;
  int blockAlign = -1;  // -1: channels * bits / 8
};

// The format chunk's body, cut or padded with zeros to length bytes.
inline Bytes FormatBody(const FormatFields& f, std::uint32_t length) {
  std::uint32_t align =
      f.blockAlign >= 0 ? static_cast<std::uint32_t>(f.blockAlign) : f.channels * f.bits / 8;
  Bytes out;
  PutLe16(out, f.tag);
  PutLe16(out, f.channels);
  PutLe32(out, f.rate);
  PutLe32(out, f.rate * align);
  PutLe16(out, align);
  PutLe16(out, f.bits);
  out.resize(length, 0);
  return out;
}

// A chunk header with the given length, then the body as given.
inline Bytes Chunk(const std::string& id, std::uint32_t length, const Bytes& body = {}) {
  Bytes out;
  PutText(out, id);
  PutLe32(out, length);
  return out + body;
}

inline Bytes Counting(std::size_t n, unsigned start = 1) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(start + i * 7);
  return out;
}

// A complete file: header, format chunk, the extra chunks, then the data.
inline Bytes MakeWav(const FormatFields& f, const Bytes& data, std::uint32_t formatLength = 16,
                     const Bytes& between = {}) {
  return WavHeader(formatLength) + FormatBody(f, formatLength) + between +
         Chunk("data", static_cast<std::uint32_t>(data.size()), data);
}

// A folder of its own under the system's temporary folder, removed at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("tavro-sound-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  std::string Write(const std::string& name, const Bytes& bytes) const {
    std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

inline Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Makes a FIFO at path with the system's mkfifo; true when there is one.
inline bool MakeFifo(const std::string& path) {
  std::string command = "mkfifo '" + path + "'";
  return std::system(command.c_str()) == 0 && std::filesystem::is_fifo(path);
}

// Runs call on a thread of its own and returns its result. A call still
// running after 10 s is taken to be stuck opening the FIFO at fifoPath: the
// test fails, and a writer opens the FIFO so that the call can finish.
template <typename Call>
auto RunWithoutBlockingOn(const std::string& fifoPath, Call call) {
  auto running = std::async(std::launch::async, call);
  if (running.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
    ADD_FAILURE() << "blocked opening the FIFO " << fifoPath;
    std::ofstream writer(fifoPath);
  }
  return running.get();
}
