// Reader for RIFF WAVE files with uncompressed PCM samples, and the
// diagnostic hook shared by the reader and the sound engine.
#pragma once

#include <cstdint>

#include "host/files.h"

// What WavOpen found; eight 32-bit words.
struct WavInfo {
  std::int32_t sampleRate;      // samples per second per channel
  std::int32_t channels;        // 1 or 2
  std::int32_t bytesPerSample;  // bytes of one sample of one channel: 1 or 2
  std::int32_t frameCount;      // sample frames in the data chunk
  std::int32_t file;            // descriptor of the open file, -1 when none
  std::int32_t mode;            // the caller's word, stored and not read
  std::int32_t reserved1;
  std::int32_t reserved2;
};

// Start values: 44100 Hz, mono, 16 bits, no frames, no file.
void WavInfoInit(WavInfo& info);

// The longest file WavOpen reads; a longer one is refused unread.
constexpr unsigned long long kWavMaxFileBytes = 64ull << 20;

// Opens the file at path, checks its header and format chunk and walks the
// chunks to the sample data. Returns 0 with the file positioned at the first
// sample byte, or a negative code with the file closed:
//   -1 cannot open: missing, not a regular file (a FIFO or device is never
//      opened for reading, so this never blocks), longer than
//      kWavMaxFileBytes, or another error (WavOpenFailure tells which),
//   -2 header or chunk header unreadable or no data chunk,
//   -11 not "WAVE", -12 no leading "fmt " chunk, -13 format chunk length not
//   1..256, -14 format chunk unreadable, -15 block align does not match,
//   -20 not "RIFF" or shorter than its header,
//   -21 not PCM, not 1 or 2 channels or not 8 or 16 bits,
//   -30 data length not a whole number of frames (the fields stay filled in).
int WavOpen(int mode, WavInfo& info, const char* path);

// Why the last WavOpen returned -1; None after any other result.
OpenFailure WavOpenFailure();

// Closes the file of a successful WavOpen; -2 when the record has no open
// file. The record is not marked closed: call it exactly once per open.
int WavClose(WavInfo& info);

// Reads up to count bytes from the open file: the number of bytes read, 0 at
// the end of the file, -1 on a read error (errno tells which).
int WavRead(const WavInfo& info, void* buffer, int count);

// Bytes left between the file's position and its end; -1 when unknown.
std::int64_t WavRemainingBytes(const WavInfo& info);

// Formats a diagnostic message. Discarded unless a capture is installed or,
// in a debug build, written to standard error.
void DebugLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Receives each formatted diagnostic message while installed; nullptr removes
// it. Used by tests to read the diagnostics.
using DebugLogCapture = void (*)(const char* message);
void SetDebugLogCapture(DebugLogCapture capture);
