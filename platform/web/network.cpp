// The page's side of the shared ranking (host/network.h): requests go to
// fetch() in page/online.js, which keeps each answer until the program's loop
// takes it between two steps; the ranking dialog is drawn by the page from
// a JSON copy of SharedRankingView() that the program hands over whenever
// the view changes, and the player's actions in it come back as page events
// (kPageEventOnline) taken here. The page never calls into the program: it
// may be waiting in a box at any time.
#include "platform/web/web_online.h"

#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/session.h"
#include "host/network.h"
#include "online/shared_ranking.h"

namespace {

// clang-format off
EM_JS(int, OnlineStartRequest, (int id, const char* method, const char* url, const char* body,
                                int bodyLength, int timeoutSeconds), {
  return TavroPage.online.start(id, UTF8ToString(method), UTF8ToString(url),
                                HEAPU8.slice(body, body + bodyLength), timeoutSeconds) ? 1 : 0;
});

// The oldest answer kept: its id (0 when none waits), status and body (in a
// buffer from malloc that the caller frees, its length in *length).
EM_JS(int, OnlineTakeAnswer, (int* status, char** body, int* length), {
  const answer = TavroPage.online.takeAnswer();
  if (!answer) return 0;
  const buffer = Module._malloc(answer.body.length + 1);
  if (!buffer) {
    HEAP32[status >> 2] = 0;
    HEAP32[body >> 2] = 0;
    HEAP32[length >> 2] = 0;
    return answer.id;
  }
  HEAPU8.set(answer.body, buffer);
  HEAP32[status >> 2] = answer.status;
  HEAP32[body >> 2] = buffer;
  HEAP32[length >> 2] = answer.body.length;
  return answer.id;
});

// The oldest action of the dialog: its kind (OnlineAction; 0 when none
// waits) and its values, a server address in a buffer from malloc (the
// caller frees it).
EM_JS(int, OnlineTakeAction, (int* values, char** server), {
  const action = TavroPage.online.takeAction();
  if (!action) return 0;
  HEAP32[values >> 2] = action.enabled ? 1 : 0;
  HEAP32[(values >> 2) + 1] = action.autoSend ? 1 : 0;
  HEAP32[(values >> 2) + 2] = action.period | 0;
  HEAP32[(values >> 2) + 3] = action.row | 0;
  HEAP32[server >> 2] = TavroPage.programString(action.server || "");
  return action.kind;
});

EM_JS(char*, OnlineDefaultServer, (), {
  const protocol = location.protocol;
  return TavroPage.programString(protocol === "http:" || protocol === "https:" ? location.origin : "");
});

EM_JS(void, OnlineWatchReplay, (const char* path, int fromGame), {
  TavroPage.online.watchReplay(UTF8ToString(path), fromGame);
});

EM_JS(void, OnlineShowDialog, (const char* view), {
  TavroPage.online.showDialog(JSON.parse(UTF8ToString(view)));
});

EM_JS(int, OnlineDialogOpen, (), {
  return TavroPage.online.dialogOpen() ? 1 : 0;
});

EM_JS(void, OnlineUpdateDialog, (const char* view), {
  TavroPage.online.updateDialog(JSON.parse(UTF8ToString(view)));
});

EM_JS(void, OnlineShowStatus, (const char* text), {
  TavroPage.online.showStatus(UTF8ToString(text));
});
// clang-format on

void AppendString(std::string& out, const std::string& text) {
  out += '"';
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendField(std::string& out, const char* name) {
  if (out.back() != '{') out += ',';
  AppendString(out, name);
  out += ':';
}

void AppendTexts(std::string& out, const char* name, const char* const* texts, int count) {
  AppendField(out, name);
  out += '[';
  for (int i = 0; i < count; ++i) {
    if (i > 0) out += ',';
    AppendString(out, texts[i]);
  }
  out += ']';
}

// The view as the dialog draws it, with the dialog's texts.
std::string ViewJson() {
  const SharedRankingViewData& view = SharedRankingView();
  std::string out = "{";
  AppendField(out, "enabled");
  out += view.settings.enabled ? "true" : "false";
  AppendField(out, "chosenServer");
  AppendString(out, view.settings.server);
  AppendField(out, "autoSend");
  out += view.settings.autoSend ? "true" : "false";
  AppendField(out, "server");
  AppendString(out, view.server);
  AppendField(out, "status");
  AppendString(out, view.status);
  AppendField(out, "waiting");
  out += std::to_string(view.waiting);
  AppendField(out, "watching");
  out += view.watching ? "true" : "false";
  AppendField(out, "tables");
  out += '[';
  for (int p = 0; p < kSharedPeriodCount; ++p) {
    const SharedRankingTable& table = view.tables[p];
    if (p > 0) out += ',';
    out += '{';
    AppendField(out, "stateText");
    AppendString(out, SharedTableStateText(table));
    AppendField(out, "rows");
    out += '[';
    for (int r = 0; r < table.count; ++r) {
      const SharedRankingRow& row = table.rows[r];
      if (r > 0) out += ',';
      out += '{';
      AppendField(out, "place");
      out += std::to_string(row.place);
      AppendField(out, "name");
      AppendString(out, row.name);
      AppendField(out, "score");
      out += std::to_string(row.score);
      AppendField(out, "level");
      out += std::to_string(static_cast<long long>(row.level) + 1);
      AppendField(out, "game");
      out += std::to_string(row.game);
      AppendField(out, "replay");
      out += row.replay.empty() ? "false" : "true";
      out += '}';
    }
    out += "]}";
  }
  out += ']';
  AppendField(out, "texts");
  out += '{';
  AppendField(out, "caption");
  AppendString(out, kSharedRankingCaption);
  const char* periods[kSharedPeriodCount];
  for (int p = 0; p < kSharedPeriodCount; ++p) periods[p] = kSharedPeriodTitles[p];
  AppendTexts(out, "periods", periods, kSharedPeriodCount);
  const char* columns[4];
  for (int c = 0; c < 4; ++c) columns[c] = kSharedColumnTitles[c];
  AppendTexts(out, "columns", columns, 4);
  AppendField(out, "enable");
  AppendString(out, kOnlineEnableLabel);
  AppendField(out, "disclosure");
  AppendString(out, kOnlineDisclosure);
  AppendField(out, "server");
  AppendString(out, kOnlineServerLabel);
  AppendField(out, "autoSend");
  AppendString(out, kOnlineAutoSendLabel);
  AppendField(out, "watch");
  AppendString(out, kOnlineWatchLabel);
  AppendField(out, "refresh");
  AppendString(out, kOnlineRefreshLabel);
  out += "}}";
  return out;
}

}  // namespace

void WebTakeHttpAnswers() {
  int status = 0;
  char* body = nullptr;
  int length = 0;
  while (const int id = OnlineTakeAnswer(&status, &body, &length)) {
    std::string text;
    if (body != nullptr) {
      text.assign(body, static_cast<std::size_t>(length));
      std::free(body);
    }
    SessionHttpAnswer(id, status, text);
  }
}

void WebTakeOnlineAction() {
  int values[4] = {};
  char* server = nullptr;
  const int kind = OnlineTakeAction(values, &server);
  std::string address;
  if (server != nullptr) {
    address = server;
    std::free(server);
  }
  switch (kind) {
    case kOnlineActionSettings: {
      OnlineSettings settings;
      settings.enabled = values[0] != 0;
      settings.autoSend = values[1] != 0;
      settings.server = address;
      SessionSetOnline(settings);
      // the dialog shows the address as it was made usable
      PlatformSharedRankingChanged();
      break;
    }
    case kOnlineActionRefresh:
      SessionRefreshSharedRanking();
      break;
    case kOnlineActionWatch:
      if (values[2] >= 0 && values[2] < kSharedPeriodCount && values[3] >= 0) {
        SessionWatchSharedReplay(static_cast<SharedPeriod>(values[2]), values[3]);
      }
      break;
    default:
      break;
  }
}

bool PlatformHttpStart(const HttpRequest& request) {
  return OnlineStartRequest(request.id, request.method, request.url.c_str(), request.body.data(),
                            static_cast<int>(request.body.size()), kHttpTimeoutSeconds) != 0;
}

std::string PlatformDefaultServer() {
  char* origin = OnlineDefaultServer();
  if (origin == nullptr) return std::string();
  std::string text(origin);
  std::free(origin);
  return text;
}

void PlatformWatchReplay(const std::string& path, int fromGame) {
  OnlineWatchReplay(path.c_str(), fromGame);
}

void PlatformShowSharedRanking() {
  OnlineShowDialog(ViewJson().c_str());
}

void PlatformSharedRankingChanged() {
  if (OnlineDialogOpen() != 0) OnlineUpdateDialog(ViewJson().c_str());
}

void PlatformShowOnlineStatus(const char* text) {
  OnlineShowStatus(text);
}
