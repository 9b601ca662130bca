// Feeds arbitrary bytes to the ranking server's handling of a submission:
// the body's checks, the copy it publishes and the parser behind both, and
// the verdict drawn from a runner's report. Checks what they promise: a
// refusal says why; the published copy passes and parses exactly as the
// body does, with the same events and results, and hiding the names twice
// changes nothing more; a verdict accepts only replayed, keyed, ranked
// games, never more than the cap, and its answer is JSON.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "board/submission.h"
#include "replay/script.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::size_t Lines(std::string_view text) {
  std::size_t count = 0;
  for (const char byte : text) count += byte == '\n' ? 1 : 0;
  return count;
}

void CheckBody(const std::string& body) {
  const std::optional<Refusal> refusal = CheckSubmittedBody(body);
  if (refusal.has_value()) {
    Check(!refusal->reason.empty() && !refusal->message.empty());
    return;
  }
  Check(body.size() <= kMaxSubmissionBytes && IsUtf8Text(body));
  const std::string published = RedactReplay(body);
  Check(!CheckSubmittedBody(published).has_value());
  Check(RedactReplay(published) == published);
  Check(Lines(published) == Lines(body));
  std::vector<ScriptEvent> events;
  std::vector<ScriptEvent> publishedEvents;
  ScriptHeader header;
  ScriptHeader publishedHeader;
  std::string error;
  std::string publishedError;
  const bool parsed = ParseScript(body, events, header, error);
  Check(parsed == ParseScript(published, publishedEvents, publishedHeader, publishedError));
  Check(error == publishedError);
  if (!parsed) return;
  Check(events.size() == publishedEvents.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    Check(events[i].frame == publishedEvents[i].frame &&
          events[i].command == publishedEvents[i].command &&
          events[i].text == publishedEvents[i].text);
  }
  Check(header.version == publishedHeader.version &&
        header.games.size() == publishedHeader.games.size());
}

void CheckReport(const std::string& report, std::uint8_t how) {
  RunnerEnd end;
  end.exitStatus = how % 4 == 3 ? -1 : how % 4;
  end.signal = how % 4 == 3 ? 9 : 0;
  end.outOfTime = how == 255;
  const Verdict verdict = VerdictFromReport(report, end);
  Check(verdict.games.size() <= kMaxSubmittedGames);
  if (verdict.refusal.has_value()) {
    Check(verdict.games.empty() && !verdict.refusal->reason.empty());
  }
  for (const GameVerdict& game : verdict.games) {
    if (!game.accepted) {
      Check(!game.reason.empty() || !game.replayed);
      continue;
    }
    Check(game.replayed && game.place > 0 && game.key.size() > 17 && game.reason.empty());
  }
  const nlohmann::json answer = nlohmann::json::parse(AnswerJson("id", verdict), nullptr, false);
  Check(answer.is_object() && answer["accepted"] == verdict.Accepted());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  CheckBody(body);
  // the same bytes as a runner's report, the first byte choosing its end
  if (size > 0) CheckReport(body.substr(1), data[0]);
  (void)ContentHash(body);
  return 0;
}
