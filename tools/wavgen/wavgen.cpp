#include "tools/wavgen/wavgen.h"

#include <cstdint>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;
constexpr double kRate = kWavgenRate;
constexpr double kPeak = 0.89;  // about -1 dBFS

struct EffectSpec {
  const char* fileName;
  int frames;
};

// 1.49 s, 1.11 s, 1.11 s and 0.37 s.
constexpr EffectSpec kEffects[kWavgenEffects] = {
    {"Bugu.wav", 16317},
    {"Chyuin.wav", 48951},
    {"Gooon.wav", 48951},
    {"Pyuin.wav", 65709},
};

double Floor(double x) {
  auto i = static_cast<std::int64_t>(x);
  return static_cast<double>(x < static_cast<double>(i) ? i - 1 : i);
}

// Sine from a Taylor series after reduction to [-pi/2, pi/2].
double Sin(double x) {
  x -= kTwoPi * Floor(x / kTwoPi);  // 0 .. 2 pi
  if (x > kPi) x -= kTwoPi;         // -pi .. pi
  if (x > kPi / 2) x = kPi - x;
  if (x < -kPi / 2) x = -kPi - x;
  double x2 = x * x;
  double term = x;
  double sum = x;
  for (int n = 1; n <= 8; ++n) {
    term = -term * x2 / ((2 * n) * (2 * n + 1));
    sum += term;
  }
  return sum;
}

// e^x as (e^(x/1024))^1024, the small power from its series.
double Exp(double x) {
  double y = x / 1024;
  double term = 1;
  double sum = 1;
  for (int n = 1; n <= 10; ++n) {
    term = term * y / n;
    sum += term;
  }
  for (int i = 0; i < 10; ++i) sum *= sum;
  return sum;
}

// Deterministic white noise in [-1, 1).
struct Noise {
  std::uint32_t state;
  double Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<double>(state) / 2147483648.0 - 1;
  }
};

// One-pole low-pass filter; coefficient from the cut-off frequency.
struct LowPass {
  double a;
  double y = 0;
  explicit LowPass(double cutoff) : a(1 - Exp(-kTwoPi * cutoff / kRate)) {}
  double Step(double x) { return y += a * (x - y); }
};

// Rises over the first attack seconds and falls to silence over the last
// release seconds, so that no effect starts or ends with a click.
double Edges(int frame, int frames, double attack, double release) {
  double t = frame / kRate;
  double left = (frames - 1 - frame) / kRate;
  double gain = 1;
  if (t < attack) gain *= t / attack;
  if (left < release) gain *= left / release;
  return gain;
}

// Smooth saturation for a heavier sound without hard clipping.
double Saturate(double x) {
  return x / (1 + (x < 0 ? -x : x));
}

// A laser shot: a bright buzz sweeping down from about 3 kHz to 150 Hz with
// a fast warble, the right channel slightly detuned.
void MakePyuin(std::vector<double>& left, std::vector<double>& right) {
  int frames = static_cast<int>(left.size());
  double phase[2] = {0, 0};
  const double detune[2] = {1.0, 1.004};
  for (int i = 0; i < frames; ++i) {
    double t = i / kRate;
    double frequency = 150 + 2850 * Exp(-t / 0.35);
    frequency *= 1 + 0.03 * Sin(kTwoPi * 28 * t);
    double gain = Exp(-t / 0.55) * Edges(i, frames, 0.004, 0.05);
    for (int c = 0; c < 2; ++c) {
      phase[c] += kTwoPi * frequency * detune[c] / kRate;
      double p = phase[c];
      double v = Sin(p) + Sin(3 * p) / 3 + Sin(5 * p) / 5;
      (c == 0 ? left : right)[i] = gain * v;
    }
  }
}

// A ricochet: a hiss of bright noise, then a whine that leaps up to 3.6 kHz
// and sinks to 1.4 kHz, ringing with a decaying frequency modulation.
void MakeChyuin(std::vector<double>& left, std::vector<double>& right) {
  int frames = static_cast<int>(left.size());
  Noise noise{0x1234567u};
  LowPass dull(1500);
  double phase = 0;
  double modulator = 0;
  for (int i = 0; i < frames; ++i) {
    double t = i / kRate;
    double n = noise.Next();
    double hiss = (n - dull.Step(n)) * Exp(-t / 0.012) * 0.8;
    double frequency = t < 0.06 ? 1200 + 2400 * (t / 0.06) : 1400 + 2200 * Exp(-(t - 0.06) / 0.18);
    modulator += kTwoPi * 57 / kRate;
    double index = 1.8 * Exp(-t / 0.25);
    phase += kTwoPi * frequency / kRate;
    double whine = Sin(phase + index * Sin(modulator)) + 0.35 * Sin(2 * phase);
    double body = Exp(-t / 0.3) * (t < 0.008 ? t / 0.008 : 1);
    double v = (hiss + 0.7 * whine * body) * Edges(i, frames, 0.001, 0.04);
    // The whine drifts from left to right as it flies off.
    double pan = 0.5 + 0.35 * Sin(kTwoPi * 1.3 * t);
    left[i] = v * (1.2 - pan);
    right[i] = v * (0.2 + pan);
  }
}

// A heavy landing: a thud, then a low tone falling from 95 Hz to 42 Hz over
// a rumble of low-passed noise that throbs at 12 Hz.
void MakeGooon(std::vector<double>& left, std::vector<double>& right) {
  int frames = static_cast<int>(left.size());
  Noise noise{0xBADC0DEu};
  LowPass thudFilter(900);
  LowPass rumbleLeft[2] = {LowPass(150), LowPass(150)};
  LowPass rumbleRight[2] = {LowPass(150), LowPass(150)};
  double phase = 0;
  for (int i = 0; i < frames; ++i) {
    double t = i / kRate;
    double frequency = 42 + 53 * Exp(-t / 0.25);
    phase += kTwoPi * frequency / kRate;
    double tone = Sin(phase) + 0.3 * Sin(2 * phase) + 0.15 * Sin(3 * phase);
    double thud = thudFilter.Step(noise.Next()) * Exp(-t / 0.015) * 3;
    double throb = 0.7 + 0.3 * Sin(kTwoPi * 12 * t);
    double decay = Exp(-t / 0.4);
    double edges = Edges(i, frames, 0.003, 0.05);
    double rl = rumbleLeft[1].Step(rumbleLeft[0].Step(noise.Next())) * 20 * throb;
    double rr = rumbleRight[1].Step(rumbleRight[0].Step(noise.Next())) * 20 * throb;
    left[i] = Saturate(1.6 * (tone + rl) * decay + thud) * edges;
    right[i] = Saturate(1.6 * (tone + rr) * decay + thud) * edges;
  }
}

// A firework burst: two low pops and a spray of crackles, each a few
// milliseconds of noise thrown to one side or the other.
void MakeBugu(std::vector<double>& left, std::vector<double>& right) {
  int frames = static_cast<int>(left.size());
  Noise noise{0xF1BE5u};
  Noise crackleNoise{0xC0FFEEu};
  LowPass popFilter(2500);
  double popPhase = 0;
  double crackle = 0;
  double crackleDecay = 0;
  double panLeft = 0.5;
  for (int i = 0; i < frames; ++i) {
    double t = i / kRate;
    double sincePop = t < 0.16 ? t : t - 0.16;
    double popFrequency = 60 + 70 * Exp(-sincePop / 0.03);
    popPhase += kTwoPi * popFrequency / kRate;
    double pop = (Sin(popPhase) + 0.5 * popFilter.Step(noise.Next())) * Exp(-sincePop / 0.05);
    if (t >= 0.16) pop *= 0.8;

    // Crackles come thick at first and thin out.
    double density = 0.004 * Exp(-t / 0.2);
    if ((crackleNoise.Next() + 1) / 2 < density) {
      crackle = 0.6 + 0.4 * (crackleNoise.Next() + 1) / 2;
      crackleDecay = Exp(-1 / (kRate * (0.001 + 0.002 * (crackleNoise.Next() + 1) / 2)));
      panLeft = (crackleNoise.Next() + 1) / 2;
    }
    double grain = crackle * noise.Next();
    crackle *= crackleDecay;
    double edges = Edges(i, frames, 0.0005, 0.02);
    left[i] = (pop + grain * 1.4 * panLeft) * edges;
    right[i] = (pop + grain * 1.4 * (1 - panLeft)) * edges;
  }
}

void PutLe16(std::vector<unsigned char>& out, std::uint32_t v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}

void PutLe32(std::vector<unsigned char>& out, std::uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

void PutTag(std::vector<unsigned char>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(tag[i]));
}

std::int16_t ToSample(double v) {
  double scaled = Floor(v * 32767 + 0.5);
  if (scaled > 32767) scaled = 32767;
  if (scaled < -32768) scaled = -32768;
  return static_cast<std::int16_t>(scaled);
}

}  // namespace

const char* WavgenFileName(int id) {
  return kEffects[id].fileName;
}

int WavgenFrames(int id) {
  return kEffects[id].frames;
}

std::vector<unsigned char> WavgenMakeFile(int id) {
  int frames = kEffects[id].frames;
  std::vector<double> left(frames);
  std::vector<double> right(frames);
  switch (id) {
    case 0:
      MakeBugu(left, right);
      break;
    case 1:
      MakeChyuin(left, right);
      break;
    case 2:
      MakeGooon(left, right);
      break;
    default:
      MakePyuin(left, right);
      break;
  }

  double peak = 0;
  for (int i = 0; i < frames; ++i) {
    double l = left[i] < 0 ? -left[i] : left[i];
    double r = right[i] < 0 ? -right[i] : right[i];
    if (l > peak) peak = l;
    if (r > peak) peak = r;
  }
  double scale = peak > 0 ? kPeak / peak : 0;

  std::uint32_t dataBytes = static_cast<std::uint32_t>(frames) * 4;
  std::vector<unsigned char> out;
  out.reserve(46 + dataBytes);
  PutTag(out, "RIFF");
  PutLe32(out, 38 + dataBytes);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  PutLe32(out, 18);
  PutLe16(out, 1);                // PCM
  PutLe16(out, 2);                // channels
  PutLe32(out, kWavgenRate);      // frames per second
  PutLe32(out, kWavgenRate * 4);  // bytes per second
  PutLe16(out, 4);                // block align
  PutLe16(out, 16);               // bits per sample
  PutLe16(out, 0);                // extra size
  PutTag(out, "data");
  PutLe32(out, dataBytes);
  for (int i = 0; i < frames; ++i) {
    PutLe16(out, static_cast<std::uint16_t>(ToSample(left[i] * scale)));
    PutLe16(out, static_cast<std::uint16_t>(ToSample(right[i] * scale)));
  }
  return out;
}
