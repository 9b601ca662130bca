#include "platform/headless/world_json.h"

#include <cstdio>

#include "sound/sound.h"
#include "world/world.h"

namespace {

void AppendInt(std::string& out, long long value) {
  char digits[24];
  const int length = std::snprintf(digits, sizeof digits, "%lld", value);
  out.append(digits, static_cast<std::size_t>(length));
}

void AppendKey(std::string& out, const char* key) {
  out += '"';
  out += key;
  out += "\":";
}

void AppendField(std::string& out, const char* key, long long value) {
  AppendKey(out, key);
  AppendInt(out, value);
  out += ',';
}

// An array of `count` records, each an array of the given members.
template <typename Record, std::size_t N, typename Members>
void AppendTable(std::string& out, const char* key, const Record (&table)[N], Members members) {
  AppendKey(out, key);
  out += '[';
  for (std::size_t i = 0; i < N; ++i) {
    if (i != 0) out += ',';
    out += '[';
    members(out, table[i]);
    out += ']';
  }
  out += ']';
}

void AppendList(std::string& out, std::initializer_list<long long> values) {
  bool first = true;
  for (long long value : values) {
    if (!first) out += ',';
    first = false;
    AppendInt(out, value);
  }
}

// Length of the UTF-8 sequence starting at text[i], or 0 when it is invalid.
int Utf8SequenceLength(const unsigned char* text, int i, int length) {
  const unsigned char lead = text[i];
  int count;
  unsigned int minimum;
  unsigned int codepoint;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    count = 2, minimum = 0x80, codepoint = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    count = 3, minimum = 0x800, codepoint = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    count = 4, minimum = 0x10000, codepoint = lead & 0x07;
  } else {
    return 0;
  }
  if (i + count > length) return 0;
  for (int k = 1; k < count; ++k) {
    if ((text[i + k] & 0xC0) != 0x80) return 0;
    codepoint = (codepoint << 6) | (text[i + k] & 0x3F);
  }
  if (codepoint < minimum || codepoint > 0x10FFFF) return 0;
  if (codepoint >= 0xD800 && codepoint <= 0xDFFF) return 0;
  return count;
}

}  // namespace

void AppendJsonString(std::string& out, const char* text, int length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  out += '"';
  for (int i = 0; i < length;) {
    const unsigned char c = bytes[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
      ++i;
    } else {
      const int count = Utf8SequenceLength(bytes, i, length);
      if (count == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(text + i, static_cast<std::size_t>(count));
        i += count;
      }
    }
  }
  out += '"';
}

void AppendWorldJson(std::string& out, long long frame) {
  out += '{';
  AppendField(out, "frame", frame);
  AppendField(out, "rng", RandomState);
  AppendField(out, "demoMode", World.demoMode);
  AppendField(out, "level", World.level);
  AppendField(out, "score", World.score);
  AppendField(out, "liveMeteors", World.liveMeteors);
  AppendField(out, "reserveMeteors", World.reserveMeteors);
  AppendField(out, "reservePerLevel", World.reservePerLevel);
  AppendField(out, "groundY", World.groundY);
  AppendField(out, "prevGroundY", World.prevGroundY);
  AppendField(out, "pauseFrames", World.pauseFrames);
  AppendField(out, "groundRecovery", World.groundRecovery);
  AppendField(out, "rankJustAchieved", World.rankJustAchieved);
  AppendField(out, "RapidFlag", RapidFlag);
  AppendField(out, "SoundFlag", SoundFlag);
  AppendField(out, "WaitFlag", WaitFlag);

  AppendKey(out, "ufo");
  out += '{';
  AppendField(out, "active", World.ufo.active);
  AppendField(out, "x", World.ufo.x);
  AppendField(out, "y", World.ufo.y);
  AppendKey(out, "dx");
  AppendInt(out, World.ufo.dx);
  out += "},";

  AppendTable(out, "meteors", World.meteors, [](std::string& o, const Meteor& m) {
    AppendList(o, {m.x, m.y, m.dx, m.dy, m.radius, m.state, m.color, m.hits});
  });
  out += ',';
  AppendTable(out, "explosions", World.explosions, [](std::string& o, const Explosion& e) {
    AppendList(o, {e.x, e.y, e.stage, e.chain, e.lethal});
  });
  out += ',';
  AppendTable(out, "popups", World.popups, [](std::string& o, const ScorePopup& p) {
    AppendList(o, {p.x, p.y, p.points, p.age});
  });
  out += ',';
  AppendTable(out, "stars", World.stars, [](std::string& o, const Star& s) {
    AppendList(o, {s.x, s.y, s.speed, s.color});
  });
  out += ',';
  AppendTable(out, "ranking", World.ranking, [](std::string& o, const RankingEntry& r) {
    AppendList(o, {r.score, r.level, r.rapid});
    o += ',';
    AppendJsonString(o, r.name, NameLength(r));
  });
  out += ',';
  AppendKey(out, "sounds");
  out += '[';
  AppendList(out, {SoundEventCount[0], SoundEventCount[1], SoundEventCount[2], SoundEventCount[3]});
  out += "]}";
}
