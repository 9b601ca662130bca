#include "replay/script.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <utility>

namespace {

const char* const kCommands[] = {"click", "move",  "start",        "stop",       "rapid",
                                 "sound", "clear", "clear-cancel", "about",      "repaint",
                                 "name",  "dump",  "exit",         "exit-cancel"};

// The blanks between words, as a stream's ">>" skips them.
constexpr std::string_view kBlanks = " \t\n\v\f\r";

// The next word of rest (empty when none is left); rest keeps what follows it.
std::string_view NextWord(std::string_view& rest) {
  const std::size_t start = rest.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) {
    rest = std::string_view();
    return rest;
  }
  const std::size_t end = std::min(rest.find_first_of(kBlanks, start), rest.size());
  const std::string_view word = rest.substr(start, end - start);
  rest.remove_prefix(end);
  return word;
}

// A whole word in base 10 with an optional sign that fits a long long.
bool ParseInteger(std::string_view word, long long& value) {
  if (!word.empty() && word[0] == '+') {
    word.remove_prefix(1);
    if (word.empty() || word[0] == '-') return false;
  }
  if (word.empty()) return false;
  const auto [end, failure] = std::from_chars(word.data(), word.data() + word.size(), value);
  return failure == std::errc() && end == word.data() + word.size();
}

std::string AtLine(int number) {
  return "line " + std::to_string(number) + ": ";
}

bool IsCommand(std::string_view word) {
  return std::find(std::begin(kCommands), std::end(kCommands), word) != std::end(kCommands);
}

// Digits with an optional sign.
bool IsWholeNumber(std::string_view word) {
  const std::size_t start = !word.empty() && (word[0] == '-' || word[0] == '+') ? 1 : 0;
  return word.size() > start && word.find_first_not_of("0123456789", start) == std::string::npos;
}

// A client coordinate as a window message carries it: 16 bits, written
// signed or unsigned (the game reads the unsigned halves).
constexpr long long kCoordinateMin = -32768;
constexpr long long kCoordinateMax = 65535;

bool ParsePoint(std::string_view words, std::string_view command, int number, ScriptEvent& event,
                std::string& error) {
  const std::string_view xs = NextWord(words);
  const std::string_view ys = NextWord(words);
  if (!IsWholeNumber(xs) || !IsWholeNumber(ys) || !NextWord(words).empty()) {
    error = AtLine(number) + std::string(command) + " needs two coordinates";
    return false;
  }
  const std::pair<std::string_view, int&> coordinates[] = {{xs, event.x}, {ys, event.y}};
  for (const auto& [word, coordinate] : coordinates) {
    long long value;
    if (!ParseInteger(word, value) || value < kCoordinateMin || value > kCoordinateMax) {
      error = AtLine(number) + std::string(command) + " coordinate " + QuoteFileText(word) +
              " is outside " + std::to_string(kCoordinateMin) + ".." +
              std::to_string(kCoordinateMax);
      return false;
    }
    coordinate = static_cast<int>(value);
  }
  return true;
}

// One event line, from its first word on.
bool ParseEventLine(std::string_view line, int number, ScriptEvent& event, std::string& error) {
  std::string_view rest = line;
  const std::string_view frameWord = NextWord(rest);
  const std::string_view command = NextWord(rest);
  event.line = number;
  if (!ParseInteger(frameWord, event.frame) || event.frame < 0) {
    error = AtLine(number) + "bad frame number \"" + QuoteFileText(frameWord) + "\"";
    return false;
  }
  if (!IsCommand(command)) {
    error = AtLine(number) + "unknown command \"" + QuoteFileText(command) + "\"";
    return false;
  }
  event.command = command;
  if (command == "name") {
    // The rest of the line after one separating blank, kept as typed.
    event.text = rest.empty() ? std::string() : std::string(rest.substr(1));
    return true;
  }
  if (command == "click" || command == "move") {
    return ParsePoint(rest, command, number, event, error);
  }
  if (!NextWord(rest).empty()) {
    error = AtLine(number) + event.command + " takes no arguments";
    return false;
  }
  return true;
}

// "#@ KEY VALUE" lines of a replay.
bool ParseHeaderLine(std::string_view line, int number, ScriptHeader& header, std::string& error) {
  const std::string_view body = line.substr(3);
  const std::size_t blank = body.find(' ');
  const std::string_view key = body.substr(0, blank);
  const std::string_view value =
      blank == std::string_view::npos ? std::string_view() : body.substr(blank + 1);
  if (key == "version") {
    header.version = value;
  } else if (key == "ini") {
    header.hasSettings = true;
    header.settingsText += value;
    header.settingsText += '\n';
  } else if (key == "game") {
    std::istringstream words{std::string(value)};
    long long index;
    std::string scoreWord;
    std::string levelWord;
    long long score;
    long long level;
    if (!(words >> index >> scoreWord >> score >> levelWord >> level) || scoreWord != "score" ||
        levelWord != "level" || score < INT32_MIN || score > INT32_MAX || level < INT32_MIN ||
        level > INT32_MAX) {
      error = AtLine(number) + "bad game result";
      return false;
    }
    header.games.push_back({static_cast<int>(score), static_cast<int>(level)});
  } else if (key != "tavro-replay" && key != "ranked") {
    error = AtLine(number) + "unknown replay line \"" + QuoteFileText(key) + "\"";
    return false;
  }
  return true;
}

std::string_view FirstLine(std::string_view text) {
  std::string_view line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Whether line 1 is the magic of a later replay format than this one's:
// "#@ tavro-replay N" with N above this format's number.
bool IsNewerReplayMagic(std::string_view line) {
  const std::string_view magic = kReplayMagic;
  const std::size_t numberAt = magic.rfind(' ') + 1;
  if (line.size() <= numberAt || line.substr(0, numberAt) != magic.substr(0, numberAt)) {
    return false;
  }
  std::string_view number = line.substr(numberAt);
  if (number.find_first_not_of("0123456789") != std::string_view::npos) return false;
  std::string_view ours = magic.substr(numberAt);
  number.remove_prefix(std::min(number.find_first_not_of('0'), number.size()));
  // equal lengths without leading zeros compare as numbers
  return number.size() > ours.size() || (number.size() == ours.size() && number > ours);
}

std::string NewerFormatMessage(std::string_view line) {
  const std::string_view magic = kReplayMagic;
  return "a newer replay format (line 1 is \"" + QuoteFileText(line) +
         "\"), this program reads format " + std::string(magic.substr(magic.rfind(' ') + 1));
}

enum class LineKind { Comment, Header, Event };

LineKind KindOf(std::string_view line, bool isReplay) {
  if (isReplay && line.substr(0, 3) == "#@ ") return LineKind::Header;
  const std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos || line[first] == '#') return LineKind::Comment;
  return LineKind::Event;
}

// Calls visit(line, number) for each line of the text, numbered from 1,
// without its "\n" or "\r\n"; false as soon as a visit is.
template <typename Visit>
bool ForEachLine(std::string_view text, Visit visit) {
  int number = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!visit(line, ++number)) return false;
  }
  return true;
}

bool IsEarlier(const ScriptEvent& a, const ScriptEvent& b) {
  return a.frame < b.frame;
}

}  // namespace

std::string QuoteFileText(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string quoted;
  const std::size_t shown = std::min(text.size(), kMaxQuotedBytes);
  quoted.reserve(shown * 4 + 3);
  for (std::size_t i = 0; i < shown; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      quoted += static_cast<char>(byte);
    } else {
      quoted += "\\x";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 0xf];
    }
  }
  if (text.size() > shown) quoted += "...";
  return quoted;
}

bool ParseScript(const std::string& text, std::vector<ScriptEvent>& events, ScriptHeader& header,
                 std::string& error) {
  const std::string_view all = text;
  // the readers' cap holds for a text from anywhere else too
  if (all.size() > kMaxScriptBytes) {
    error = "larger than " + std::to_string(kMaxScriptBytes >> 20) + " MiB";
    return false;
  }
  if (IsNewerReplayMagic(FirstLine(all))) {
    error = NewerFormatMessage(FirstLine(all));
    return false;
  }
  if (FirstLine(all) == kReplayMagic) header.isReplay = true;
  // A first look counts the events and finds the last frame: too many are
  // refused before anything is kept, and the rest are kept without copies.
  std::size_t count = 0;
  long long lastFrame = 0;
  ForEachLine(all, [&](std::string_view line, int) {
    if (KindOf(line, header.isReplay) != LineKind::Event) return true;
    ++count;
    long long frame;
    if (ParseInteger(NextWord(line), frame)) lastFrame = std::max(lastFrame, frame);
    return true;
  });
  // (a frame beyond the replay's end is named by its line below)
  if (header.isReplay && lastFrame <= kMaxReplayFrames &&
      static_cast<long long>(count) > (lastFrame + 1) * kMaxEventsPerFrame + kExtraReplayEvents) {
    error = "the replay holds " + std::to_string(count) + " events for " +
            std::to_string(lastFrame + 1) + " frame(s), more than a session can make (" +
            std::to_string(kMaxEventsPerFrame) + " a frame, plus " +
            std::to_string(kExtraReplayEvents) + ")";
    return false;
  }
  events.reserve(events.size() + count);
  const bool parsed = ForEachLine(all, [&](std::string_view line, int number) {
    switch (KindOf(line, header.isReplay)) {
      case LineKind::Comment:
        return true;
      case LineKind::Header:
        return ParseHeaderLine(line, number, header, error);
      case LineKind::Event:
        break;
    }
    ScriptEvent event;
    if (!ParseEventLine(line.substr(line.find_first_not_of(" \t")), number, event, error)) {
      return false;
    }
    if (header.isReplay && event.frame > kMaxReplayFrames) {
      error = AtLine(number) + "frame " + std::to_string(event.frame) + " is beyond the " +
              std::to_string(kMaxReplayFrames) + " frames (24 hours) a replay may hold";
      return false;
    }
    events.push_back(std::move(event));
    return true;
  });
  if (!parsed) return false;
  // a replay comes in order already: no sort and no sort's buffer
  if (!std::is_sorted(events.begin(), events.end(), IsEarlier)) {
    std::stable_sort(events.begin(), events.end(), IsEarlier);
  }
  return true;
}

bool CheckReplayStart(std::string_view text, std::string& error) {
  const std::string_view line = FirstLine(text);
  if (line == kReplayMagic) return true;
  if (IsNewerReplayMagic(line)) {
    error = NewerFormatMessage(line);
  } else {
    error = std::string("not a TAVRO replay (line 1 is not \"") + kReplayMagic + "\")";
  }
  return false;
}

bool CheckReplayHeader(const ScriptHeader& header, std::string& error) {
  if (!header.isReplay) {
    error = std::string("not a TAVRO replay (line 1 is not \"") + kReplayMagic + "\")";
    return false;
  }
  if (header.version != kReplayVersion) {
    error = "recorded by TAVRO version \"" + QuoteFileText(header.version) +
            "\", this is version " + kReplayVersion + ": the game's rules may differ";
    return false;
  }
  if (!header.hasSettings) {
    error = "the replay holds no settings (\"#@ ini\" lines)";
    return false;
  }
  return true;
}
