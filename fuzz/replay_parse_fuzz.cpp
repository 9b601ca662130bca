// Feeds arbitrary bytes to the script and replay parser and checks what it
// promises: a refusal says why in a short, printable message; what it keeps
// is in frame order, of known commands and in range, and a replay kept holds
// no more than a session can make.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "replay/script.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// A message quotes the file only through QuoteFileText.
void CheckMessage(const std::string& message) {
  Check(!message.empty() && message.size() < 400);
  for (const char byte : message) Check(byte >= 0x20 && byte < 0x7f);
}

bool IsPoint(const std::string& command) {
  return command == "click" || command == "move";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<ScriptEvent> events;
  ScriptHeader header;
  std::string error;
  std::string startError;
  const bool start = CheckReplayStart(text, startError);
  if (!start) CheckMessage(startError);
  if (!ParseScript(text, events, header, error)) {
    CheckMessage(error);
    return 0;
  }
  Check(error.empty());
  // a newer format never parses, and only this format's magic makes a replay
  Check(header.isReplay == start);
  Check(
      std::is_sorted(events.begin(), events.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.frame < b.frame; }));
  long long lastFrame = 0;
  for (const ScriptEvent& e : events) {
    Check(e.frame >= 0 && e.line >= 1);
    Check(!e.command.empty() && e.command.size() <= 12);
    if (IsPoint(e.command)) {
      Check(e.x >= -32768 && e.x <= 65535 && e.y >= -32768 && e.y <= 65535);
    } else {
      Check(e.x == 0 && e.y == 0);
    }
    Check(e.command == "name" || e.text.empty());
    lastFrame = std::max(lastFrame, e.frame);
  }
  if (header.isReplay) {
    Check(lastFrame <= kMaxReplayFrames);
    Check(static_cast<long long>(events.size()) <=
          (lastFrame + 1) * kMaxEventsPerFrame + kExtraReplayEvents);
    if (!CheckReplayHeader(header, error)) CheckMessage(error);
  }
  std::string quoted = QuoteFileText(text);
  Check(quoted.size() <= kMaxQuotedBytes * 4 + 3);
  CheckMessage(quoted + "x");
  return 0;
}
