#include "sound/wav.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "sound/tests/wav_builder.h"

namespace {

std::vector<std::string> Logged;

void Collect(const char* message) {
  Logged.emplace_back(message);
}

class WavReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Logged.clear();
    SetDebugLogCapture(Collect);
    WavInfoInit(info);
  }
  void TearDown() override { SetDebugLogCapture(nullptr); }

  // Writes the bytes to a file and opens it.
  int Open(const Bytes& bytes, int mode = 0) {
    path = folder.Write("test.wav", bytes);
    return WavOpen(mode, info, path.c_str());
  }

  Bytes ReadRest() {
    Bytes out;
    unsigned char buffer[64];
    int got;
    while ((got = WavRead(info, buffer, sizeof buffer)) > 0)
      out.insert(out.end(), buffer, buffer + got);
    return out;
  }

  ScratchFolder folder;
  std::string path;
  WavInfo info;
};

TEST_F(WavReaderTest, InitSetsTheStartValues) {
  info.sampleRate = 7;
  info.file = 3;
  info.reserved2 = 9;
  WavInfoInit(info);
  EXPECT_EQ(info.sampleRate, 44100);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.bytesPerSample, 2);
  EXPECT_EQ(info.frameCount, 0);
  EXPECT_EQ(info.file, -1);
  EXPECT_EQ(info.mode, 0);
  EXPECT_EQ(info.reserved1, 0);
  EXPECT_EQ(info.reserved2, 0);
  EXPECT_EQ(sizeof(WavInfo), 32u);
}

TEST_F(WavReaderTest, AcceptsStereo16BitAndStopsAtTheFirstSample) {
  Bytes data = Counting(400);
  ASSERT_EQ(Open(MakeWav({}, data), 77), 0);
  EXPECT_EQ(info.sampleRate, 44100);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.bytesPerSample, 2);
  EXPECT_EQ(info.frameCount, 100);
  EXPECT_EQ(info.mode, 77);
  EXPECT_GE(info.file, 0);
  EXPECT_EQ(WavRemainingBytes(info), 400);
  EXPECT_EQ(ReadRest(), data);
  EXPECT_EQ(WavClose(info), 0);
  EXPECT_EQ(Logged, std::vector<std::string>{"f=44100, rate=176400, bit=16, channel=2\n"});
}

TEST_F(WavReaderTest, AcceptsFormatChunksOf16And18And40And256Bytes) {
  for (std::uint32_t length : {16u, 18u, 40u, 256u}) {
    SCOPED_TRACE(length);
    WavInfoInit(info);
    Bytes data = Counting(8);
    ASSERT_EQ(Open(MakeWav({.channels = 1, .rate = 22050}, data, length)), 0);
    EXPECT_EQ(info.sampleRate, 22050);
    EXPECT_EQ(info.frameCount, 4);
    EXPECT_EQ(ReadRest(), data);
    EXPECT_EQ(WavClose(info), 0);
  }
}

TEST_F(WavReaderTest, SkipsChunksBetweenFormatAndData) {
  Bytes list = Chunk("LIST", 12, Counting(12, 90));
  Bytes fact = Chunk("fact", 4, Counting(4));
  Bytes empty = Chunk("junk", 0);
  Bytes data = Counting(16, 3);
  ASSERT_EQ(Open(MakeWav({}, data, 18, list + fact + empty)), 0);
  EXPECT_EQ(info.frameCount, 4);
  EXPECT_EQ(ReadRest(), data);
  EXPECT_EQ(WavClose(info), 0);
}

TEST_F(WavReaderTest, OddChunkWithPadByteThrowsTheWalkOff) {
  // No pad byte is skipped, so the walk reads one byte early and runs off the
  // end of the file.
  Bytes odd = Chunk("LIST", 3, Counting(3)) + Bytes{0};
  EXPECT_EQ(Open(MakeWav({}, Counting(16), 16, odd)), -2);
  EXPECT_EQ(Logged, std::vector<std::string>{"error 2\n"});
  EXPECT_EQ(info.file, -1);
  EXPECT_EQ(WavClose(info), -2);
}

TEST_F(WavReaderTest, BlockAlignIsComparedAfterIntegerDivision) {
  ASSERT_EQ(Open(MakeWav({.blockAlign = 5}, Counting(8))), 0);
  EXPECT_EQ(info.frameCount, 2);
  EXPECT_EQ(WavClose(info), 0);

  Logged.clear();
  EXPECT_EQ(Open(MakeWav({.blockAlign = 3}, Counting(8))), -15);
  EXPECT_EQ(Logged, std::vector<std::string>{"error 6\n"});
  EXPECT_EQ(Open(MakeWav({.channels = 1, .bits = 8, .blockAlign = 2}, Counting(8))), -15);
}

TEST_F(WavReaderTest, DataMustBeAWholeNumberOfFrames) {
  ASSERT_EQ(Open(MakeWav({.channels = 1, .rate = 8000, .bits = 8}, Counting(7))), 0);
  EXPECT_EQ(info.bytesPerSample, 1);
  EXPECT_EQ(info.frameCount, 7);
  EXPECT_EQ(WavClose(info), 0);

  Logged.clear();
  WavInfoInit(info);
  EXPECT_EQ(Open(MakeWav({.rate = 11025}, Counting(10))), -30);
  // The fields are filled in all the same, the file is closed.
  EXPECT_EQ(info.sampleRate, 11025);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.bytesPerSample, 2);
  EXPECT_EQ(info.frameCount, 2);
  EXPECT_EQ(WavClose(info), -2);
  EXPECT_EQ(Logged, std::vector<std::string>{"f=11025, rate=44100, bit=16, channel=2\n"});
}

TEST_F(WavReaderTest, NoDataChunkOrACutChunkHeaderGivesMinus2) {
  Bytes noData = WavHeader(16) + FormatBody({}, 16) + Chunk("LIST", 4, Counting(4));
  EXPECT_EQ(Open(noData), -2);
  EXPECT_EQ(Open(WavHeader(16) + FormatBody({}, 16)), -2);
  EXPECT_EQ(Open(WavHeader(16) + FormatBody({}, 16) + Bytes{'d', 'a', 't'}), -2);
  EXPECT_EQ(Open(WavHeader(16) + FormatBody({}, 16) + Bytes{'d', 'a', 't', 'a', 9, 0, 0}), -2);
  EXPECT_EQ(Logged, std::vector<std::string>(4, "error 2\n"));
}

TEST_F(WavReaderTest, RejectsOtherThanPcmWithOneOrTwoChannelsOf8Or16Bits) {
  struct Case {
    FormatFields fields;
    std::uint32_t formatLength;
    const char* message;
  };
  const Case cases[] = {
      {{.tag = 3, .bits = 32}, 18, "error u1\n"},                     // IEEE float
      {{.tag = 0xFFFE, .bits = 16}, 40, "error u1\n"},                // extensible
      {{.tag = 2, .bits = 4, .blockAlign = 2048}, 50, "error u1\n"},  // compressed
      {{.channels = 3}, 16, "error u2\n"},
      {{.channels = 0, .blockAlign = 4}, 16, "error u2\n"},
      {{.bits = 24}, 16, "error u3\n"},
      {{.bits = 0, .blockAlign = 0}, 16, "error u3\n"},
      // The checks come in order: tag, channels, bits, block align.
      {{.tag = 3, .channels = 5, .bits = 12}, 16, "error u1\n"},
      {{.channels = 6, .bits = 12}, 16, "error u2\n"},
      {{.bits = 12, .blockAlign = 9}, 16, "error u3\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Logged.clear();
    WavInfoInit(info);
    EXPECT_EQ(Open(MakeWav(c.fields, Counting(48), c.formatLength)), -21);
    EXPECT_EQ(Logged, std::vector<std::string>{c.message});
    EXPECT_EQ(info.file, -1);
    EXPECT_EQ(info.channels, 1);  // untouched
  }
}

TEST_F(WavReaderTest, HeaderChecksInOrder) {
  Bytes body = FormatBody({}, 16) + Chunk("data", 4, Counting(4));
  EXPECT_EQ(Open(WavHeader(16, "RIFX") + body), -20);
  EXPECT_TRUE(Logged.empty());
  EXPECT_EQ(Open(WavHeader(16, "RIFX", "AVI ", "LIST") + body), -20);
  EXPECT_EQ(Open(WavHeader(16, "RIFF", "AVI ", "LIST") + body), -11);
  EXPECT_EQ(Open(WavHeader(16, "RIFF", "WAVE", "LIST") + body), -12);
  EXPECT_EQ(Open(WavHeader(16, "RIFF", "WAVE", "fmt\0") + body), -12);
  EXPECT_EQ(Open(WavHeader(0) + body), -13);
  EXPECT_EQ(Open(WavHeader(257) + body), -13);
  EXPECT_EQ(Open(WavHeader(0xFFFFFFFF) + body), -13);
  EXPECT_EQ(Logged, (std::vector<std::string>{"error 2\n", "error 3\n", "error 3\n", "error 4 0\n",
                                              "error 4 257\n", "error 4 -1\n"}));
}

TEST_F(WavReaderTest, ShortHeaderGivesMinus20) {
  EXPECT_EQ(Open({}), -20);
  Bytes header = WavHeader(16);
  EXPECT_EQ(Open(Bytes(header.begin(), header.begin() + 12)), -20);
  EXPECT_EQ(Open(Bytes(header.begin(), header.begin() + 19)), -20);
  EXPECT_TRUE(Logged.empty());
  EXPECT_EQ(info.file, -1);
}

TEST_F(WavReaderTest, FormatFieldsBeyondTheFileReadAsZero) {
  // The format chunk says 16 bytes but the file ends after the tag: the
  // channels read as 0.
  EXPECT_EQ(Open(WavHeader(16) + Bytes{1, 0}), -21);
  EXPECT_EQ(Logged, std::vector<std::string>{"error u2\n"});
  // A 4-byte format chunk has no bits per sample.
  Logged.clear();
  EXPECT_EQ(Open(WavHeader(4) + FormatBody({}, 4) + Chunk("data", 4, Counting(4))), -21);
  EXPECT_EQ(Logged, std::vector<std::string>{"error u3\n"});
}

TEST_F(WavReaderTest, MissingFileGivesMinus1) {
  std::string missing = (folder.path() / "none.wav").string();
  EXPECT_EQ(WavOpen(5, info, missing.c_str()), -1);
  EXPECT_EQ(info.mode, 5);
  EXPECT_EQ(info.file, -1);
  EXPECT_TRUE(Logged.empty());
  // A folder opens on some systems but never reads as a WAV file.
  EXPECT_LT(WavOpen(0, info, folder.path().string().c_str()), 0);
  EXPECT_EQ(info.file, -1);
  EXPECT_EQ(WavOpen(0, info, nullptr), -1);
}

TEST_F(WavReaderTest, CloseWithoutAnOpenFileGivesMinus2) {
  EXPECT_EQ(WavClose(info), -2);
  info.file = 1000;
  EXPECT_EQ(WavClose(info), -2);
  info.file = 5;  // a descriptor number that is not open
  EXPECT_EQ(WavClose(info), -2);
}

TEST_F(WavReaderTest, DataLengthIsNotComparedWithTheFile) {
  Bytes file = WavHeader(16) + FormatBody({}, 16) + Chunk("data", 4000, Counting(8));
  ASSERT_EQ(Open(file), 0);
  EXPECT_EQ(info.frameCount, 1000);
  EXPECT_EQ(WavRemainingBytes(info), 8);
  EXPECT_EQ(WavClose(info), 0);
}

TEST_F(WavReaderTest, FailedAndRepeatedOpensLeakNoFiles) {
  Bytes bad = WavHeader(16, "RIFF", "WAVX");
  Bytes good = MakeWav({}, Counting(4));
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(Open(bad), -11);
    ASSERT_EQ(Open(good), 0);
    ASSERT_EQ(WavClose(info), 0);
  }
}

// Odd files named like an effect: only regular files of at most 64 MiB are
// opened; a FIFO is refused at once, a huge sparse file without reading it.
TEST_F(WavReaderTest, OnlyRegularFilesUpTo64MiBAreOpened) {
  const std::string good = folder.Write("good.wav", MakeWav({}, Counting(4)));
  const std::string fifo = (folder.path() / "fifo.wav").string();
#ifndef _WIN32  // no FIFOs on Windows, and links only for some users
  ASSERT_TRUE(MakeFifo(fifo));
  std::filesystem::create_symlink(fifo, folder.path() / "to-fifo.wav");
  std::filesystem::create_symlink(good, folder.path() / "to-good.wav");
  std::filesystem::create_symlink(folder.path() / "none.wav", folder.path() / "dangling.wav");
#endif
  struct Case {
    const char* name;
    std::uintmax_t size;  // 0: as made above; else a sparse WAV file of this size
    int result;
    OpenFailure failure;
  };
  const Case cases[] = {
#ifndef _WIN32
      {"fifo.wav", 0, -1, OpenFailure::NotRegular},
      {"to-fifo.wav", 0, -1, OpenFailure::NotRegular},
      {"dangling.wav", 0, -1, OpenFailure::Missing},
      {"to-good.wav", 0, 0, OpenFailure::None},
#endif
      {"64MiB.wav", kWavMaxFileBytes, 0, OpenFailure::None},
      {"64MiB+1.wav", kWavMaxFileBytes + 1, -1, OpenFailure::TooLarge},
      {"1GiB.wav", std::uintmax_t{1} << 30, -1, OpenFailure::TooLarge},
      {"4GiB.wav", std::uintmax_t{1} << 32, -1, OpenFailure::TooLarge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    path = (folder.path() / c.name).string();
    if (c.size != 0) {
      // The data chunk claims all of the file, as a real recording would.
      auto data = static_cast<std::uint32_t>(std::min<std::uintmax_t>(c.size - 44, 0xFFFFFFF0));
      folder.Write(c.name, WavHeader(16) + FormatBody({}, 16) + Chunk("data", data));
      std::error_code error;
      std::filesystem::resize_file(path, c.size, error);
      if (error) GTEST_SKIP() << "no sparse file here: " << error.message();
    }
    WavInfoInit(info);
    int result = RunWithoutBlockingOn(fifo, [&] { return WavOpen(0, info, path.c_str()); });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(WavOpenFailure(), c.failure);
    if (result == 0) {
      EXPECT_EQ(WavClose(info), 0);
    } else {
      EXPECT_EQ(info.file, -1);
    }
    if (c.size != 0) std::filesystem::remove(path);
  }
}

}  // namespace
