#include "online/shared_ranking.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>

#include "host/network.h"
#include "host/own_folder.h"
#include "host/window.h"
#include "online/json_reader.h"
#include "records/ini.h"
#include "records/settings.h"
#include "replay/store.h"

const char kSharedRankingMenuItem[] = "ネットランキング(&N)...";
const char kSharedRankingCaption[] = "ネットランキング";
const char kSharedPeriodTitles[kSharedPeriodCount][16] = {"今週", "今月", "全期間"};
const char kSharedColumnTitles[4][16] = {"順位", "名前", "スコア", "レベル"};
const char kOnlineEnableLabel[] = "ネットランキングに参加する";
const char kOnlineServerLabel[] = "サーバー:";
const char kOnlineAutoSendLabel[] = "ランクインしたら確認せずに送信する";
const char kOnlineWatchLabel[] = "リプレイを見る";
const char kOnlineRefreshLabel[] = "更新";
const char kOnlineDisclosure[] =
    "参加すると、ランクインしたゲームのあとにこのセッションのリプレイ (操作の記録と、"
    "開始時の設定とランキング) をサーバーに送信します。公開されるのは、認められた"
    "ゲームの名前・スコア・レベルと、そのリプレイです。リプレイの中のほかの人の名前は"
    "伏せられます。参加するまで、通信は一切行いません。";

namespace {

constexpr char kOnlineSection[] = "Online";
constexpr int kRankLookupRows = 100;

enum class RequestKind { Upload, Table, RankLookup, Replay };

struct Request {
  RequestKind kind = RequestKind::Upload;
  SharedPeriod period = SharedPeriod::All;
  std::string outboxName;  // Upload: the outbox file sent
  std::string sentText;    // Upload: what was sent
  int gameIndex = 0;       // Upload: the ranked game (0: any); RankLookup: its game
  int score = 0;           // RankLookup: the game's score
  std::string replayId;    // RankLookup, Replay
  int fromGame = 1;        // Replay
};

// One replay waiting to be sent: a file in the outbox, or (without an
// outbox folder) its text.
struct Waiting {
  std::string name;
  std::string text;
  int gameIndex = 0;
};

SharedRankingViewData view;
std::string defaultServer;
std::string outboxFolder;
std::string sharedFolder;  // replays fetched for watching
std::map<int, Request> requests;
int nextRequestId = 1;
std::deque<Waiting> queue;
bool uploading = false;
// The outbox name the running session's record was last queued under.
std::string sessionOutboxName;

std::string ServerInUse() {
  const std::string chosen = NormalizeServerAddress(view.settings.server);
  return chosen.empty() ? NormalizeServerAddress(defaultServer) : chosen;
}

bool Online() {
  return view.settings.enabled && !view.server.empty();
}

void Changed() {
  view.waiting = static_cast<int>(queue.size()) + (uploading ? 1 : 0);
  PlatformSharedRankingChanged();
}

void Tell(const std::string& text) {
  view.status = text;
  PlatformShowOnlineStatus(text.c_str());
  Changed();
}

std::string OutboxPath(const std::string& name) {
  return PathInFolder(outboxFolder, name);
}

bool Start(Request request, const char* method, const std::string& path, std::string body) {
  HttpRequest http;
  http.id = nextRequestId++;
  http.method = method;
  http.url = view.server + path;
  http.body = std::move(body);
  if (!PlatformHttpStart(http)) return false;
  requests[http.id] = std::move(request);
  return true;
}

bool IsReplayId(const std::string& id) {
  return id.size() == 64 && std::all_of(id.begin(), id.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// The outbox's replays left by earlier sessions (or other copies), oldest
// first: their names begin with the session's start time.
void QueueOutbox() {
  if (outboxFolder.empty()) return;
  std::vector<FolderEntry> entries;
  if (!PlatformListFolder(outboxFolder.c_str(), 1000, &entries)) return;
  std::vector<std::string> names;
  for (const FolderEntry& entry : entries) {
    if (entry.kind != EntryKind::Regular) continue;
    const std::string& name = entry.name;
    const std::size_t extension = std::strlen(kReplayExtension);
    if (name.size() > extension &&
        name.compare(name.size() - extension, extension, kReplayExtension) == 0) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const bool queued =
        std::any_of(queue.begin(), queue.end(), [&](const Waiting& w) { return w.name == name; });
    if (!queued) queue.push_back({name, std::string(), 0});
  }
}

void SendNext() {
  while (!uploading && !queue.empty() && Online()) {
    Waiting next = queue.front();
    queue.pop_front();
    std::string text = next.text;
    if (!outboxFolder.empty()) {
      const OpenFailure read =
          ReadWholeRegularFile(OutboxPath(next.name).c_str(), 16ull << 20, &text);
      if (read != OpenFailure::None) continue;  // sent and removed by another copy
    }
    Request request;
    request.kind = RequestKind::Upload;
    request.outboxName = next.name;
    request.sentText = text;
    request.gameIndex = next.gameIndex;
    if (!Start(std::move(request), "POST", "/api/v1/replays", std::move(text))) {
      queue.push_front(next);
      break;
    }
    uploading = true;
  }
  Changed();
}

void RequestTables() {
  static const char* const kPeriods[kSharedPeriodCount] = {"week", "month", "all"};
  for (int p = 0; p < kSharedPeriodCount; ++p) {
    SharedRankingTable& table = view.tables[p];
    Request request;
    request.kind = RequestKind::Table;
    request.period = static_cast<SharedPeriod>(p);
    const std::string path = std::string("/api/v1/ranking?period=") + kPeriods[p] +
                             "&limit=" + std::to_string(kSharedRankingRows);
    table.state =
        Start(request, "GET", path, std::string()) ? FetchState::Loading : FetchState::Unreachable;
  }
  Changed();
}

void TablesOff() {
  for (SharedRankingTable& table : view.tables) table = SharedRankingTable();
}

// The sent file is done with: its outbox file goes, unless a newer record
// of the session has replaced it meanwhile (that one is sent next).
void ForgetSent(const Request& request) {
  if (outboxFolder.empty()) return;
  std::string now;
  const std::string path = OutboxPath(request.outboxName);
  if (ReadWholeRegularFile(path.c_str(), 16ull << 20, &now) == OpenFailure::None &&
      now == request.sentText) {
    PlatformRemoveRegularFile(path.c_str());
  }
}

std::string ScoreText(int score) {
  return "スコア " + std::to_string(score);
}

void AnswerUpload(const Request& request, int status, const std::string& body) {
  uploading = false;
  const bool definite = status == 200 || status == 400 || status == 413 || status == 422;
  if (!definite) {
    // kept in the outbox; the next start (or a new choice in the dialog) sends it
    if (outboxFolder.empty())
      queue.push_front({request.outboxName, request.sentText, request.gameIndex});
    Tell(status == 0 ? "ネットランキングのサーバーに接続できません。リプレイは保存され、次回の起動"
                       "時に送信されます。"
                     : "ネットランキングのサーバーが応答できません (" + std::to_string(status) +
                           ")。リプレイは保存され、次回の起動時に送信されます。");
    return;
  }
  ForgetSent(request);
  JsonValue answer;
  const bool read = ReadJson(body, &answer) && answer.kind == JsonValue::Kind::Object;
  // the ranked game's own verdict; for a replay left by an earlier session,
  // its best accepted game
  const JsonValue* chosen = nullptr;
  for (const JsonValue& game : answer["games"].items) {
    if (request.gameIndex != 0) {
      if (game["game"].Int() == request.gameIndex) chosen = &game;
    } else if (game["accepted"].boolean &&
               (chosen == nullptr || game["score"].Int() > (*chosen)["score"].Int())) {
      chosen = &game;
    }
  }
  if (read && chosen != nullptr && (*chosen)["accepted"].boolean) {
    Request lookup;
    lookup.kind = RequestKind::RankLookup;
    lookup.replayId = answer["id"].text;
    lookup.gameIndex = (*chosen)["game"].Int();
    lookup.score = (*chosen)["score"].Int();
    Tell("ネットランキングに登録されました (" + ScoreText(lookup.score) + ")");
    Start(lookup, "GET", "/api/v1/ranking?period=all&limit=" + std::to_string(kRankLookupRows),
          std::string());
    RequestTables();
  } else {
    std::string reason = "サーバーの答えを読めません";
    if (read && chosen != nullptr && !(*chosen)["reason"].text.empty()) {
      reason = (*chosen)["reason"].text;
    } else if (read && !answer["reason"].text.empty()) {
      reason = answer["reason"].text;
    } else if (read) {
      reason = "not accepted";
    }
    Tell("ネットランキングに登録されませんでした: " + reason);
  }
  SendNext();
}

void AnswerRankLookup(const Request& request, int status, const std::string& body) {
  JsonValue answer;
  if (status != 200 || !ReadJson(body, &answer)) return;
  for (const JsonValue& entry : answer["entries"].items) {
    if (entry["replay"].text == request.replayId && entry["game"].Int() == request.gameIndex) {
      Tell("ネットランキングに登録されました: 全期間 " + std::to_string(entry["place"].Int()) +
           "位 (" + ScoreText(request.score) + ")");
      return;
    }
  }
  Tell("ネットランキングに登録されました: 全期間 " + std::to_string(kRankLookupRows) + "位圏外 (" +
       ScoreText(request.score) + ")");
}

void AnswerTable(const Request& request, int status, const std::string& body) {
  SharedRankingTable& table = view.tables[static_cast<int>(request.period)];
  table = SharedRankingTable();
  JsonValue answer;
  if (status == 0) {
    table.state = FetchState::Unreachable;
  } else if (status != 200 || !ReadJson(body, &answer) ||
             answer["entries"].kind != JsonValue::Kind::Array) {
    table.state = FetchState::Failed;
  } else {
    table.state = FetchState::Loaded;
    for (const JsonValue& entry : answer["entries"].items) {
      if (table.count == kSharedRankingRows) break;
      SharedRankingRow& row = table.rows[table.count++];
      row.place = entry["place"].Int();
      row.score = entry["score"].Int();
      row.level = entry["level"].Int();
      row.game = entry["game"].Int();
      row.name = entry["name"].text;
      row.replay = IsReplayId(entry["replay"].text) ? entry["replay"].text : std::string();
    }
  }
  Changed();
}

void AnswerReplay(const Request& request, int status, const std::string& body) {
  view.watching = false;
  if (status != 200) {
    Tell(status == 0 ? "ネットランキングのサーバーに接続できません。"
                     : "リプレイを取得できませんでした (" + std::to_string(status) + ")。");
    return;
  }
  const std::string path = PathInFolder(sharedFolder, request.replayId + kReplayExtension);
  const bool written = !sharedFolder.empty() &&
                       (PlatformWriteRegularFile(path.c_str(), body.data(), body.size(),
                                                 WriteMode::ReplaceRegular) == WriteFailure::None ||
                        PlatformWriteRegularFile(path.c_str(), body.data(), body.size(),
                                                 WriteMode::CreateNew) == WriteFailure::None);
  if (!written) {
    Tell("リプレイを保存できませんでした。");
    return;
  }
  Changed();
  PlatformWatchReplay(path, request.fromGame);
}

}  // namespace

const SharedRankingViewData& SharedRankingView() {
  return view;
}

const char* SharedTableStateText(const SharedRankingTable& table) {
  switch (table.state) {
    case FetchState::Off:
      return "ネットランキングに参加すると表示されます。";
    case FetchState::Loading:
      return "読み込み中...";
    case FetchState::Unreachable:
      return "サーバーに接続できません。";
    case FetchState::Failed:
      return "サーバーがランキングを返しませんでした。";
    case FetchState::Loaded:
      return table.count == 0 ? "まだ記録がありません。" : "";
  }
  return "";
}

std::string NormalizeServerAddress(const std::string& typed) {
  std::size_t begin = typed.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return std::string();
  std::size_t end = typed.find_last_not_of(" \t\r\n");
  std::string address = typed.substr(begin, end - begin + 1);
  if (address.find("://") == std::string::npos) address = "http://" + address;
  while (!address.empty() && address.back() == '/') address.pop_back();
  const bool http = address.rfind("http://", 0) == 0;
  const bool https = address.rfind("https://", 0) == 0;
  if (!http && !https) return std::string();
  const std::string rest = address.substr(http ? 7 : 8);
  if (rest.empty() || rest.front() == '/' || rest.front() == ':') return std::string();
  for (const char c : rest) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '<' || c == '>' || c == '\\' ||
        c == '?' || c == '#' || static_cast<unsigned char>(c) >= 0x7f) {
      return std::string();
    }
  }
  return address;
}

OnlineSettings ReadOnlineSettings(const std::string& settingsText) {
  OnlineSettings settings;
  settings.enabled = IniGetInt(settingsText, kOnlineSection, "Enabled", 0) == 1;
  settings.server = IniGetString(settingsText, kOnlineSection, "Server", "");
  settings.autoSend = IniGetInt(settingsText, kOnlineSection, "AutoSend", 0) == 1;
  return settings;
}

void OnlineStart(const std::string& replaysFolder) {
  OnlineReset();
  if (!replaysFolder.empty()) {
    outboxFolder = PathInFolder(replaysFolder, "outbox");
    sharedFolder = PathInFolder(replaysFolder, "shared");
  }
  defaultServer = PlatformDefaultServer();
  view.settings = ReadOnlineSettings(ReadSettingsFileText());
  view.server = ServerInUse();
  if (!Online()) return;
  QueueOutbox();
  SendNext();
  RequestTables();
}

void OnlineGameRanked(const std::string& text, const std::string& recordName, int gameIndex) {
  if (!Online()) return;
  if (!view.settings.autoSend && !PlatformConfirm(ConfirmBox::SendReplay)) return;
  const std::string name = recordName.empty() ? "session.tavroreplay" : recordName;
  if (!outboxFolder.empty()) {
    const std::string path = OutboxPath(name);
    if (PlatformWriteRegularFile(path.c_str(), text.data(), text.size(),
                                 WriteMode::ReplaceRegular) != WriteFailure::None &&
        PlatformWriteRegularFile(path.c_str(), text.data(), text.size(), WriteMode::CreateNew) !=
            WriteFailure::None) {
      std::fprintf(stderr, "TAVRO: the replay to send could not be kept in %s\n", path.c_str());
    }
    // the session's older record, renamed for a new best score, is contained in this one
    if (!sessionOutboxName.empty() && sessionOutboxName != name) {
      PlatformRemoveRegularFile(OutboxPath(sessionOutboxName).c_str());
    }
  }
  sessionOutboxName = name;
  const auto same = [&](const Waiting& w) { return w.name == name; };
  queue.erase(std::remove_if(queue.begin(), queue.end(), same), queue.end());
  queue.push_back({name, outboxFolder.empty() ? text : std::string(), gameIndex});
  SendNext();
}

bool OnlineHandleAnswer(int id, int status, const std::string& body) {
  const auto found = requests.find(id);
  if (found == requests.end()) return false;
  const Request request = std::move(found->second);
  requests.erase(found);
  switch (request.kind) {
    case RequestKind::Upload:
      AnswerUpload(request, status, body);
      break;
    case RequestKind::Table:
      AnswerTable(request, status, body);
      break;
    case RequestKind::RankLookup:
      AnswerRankLookup(request, status, body);
      break;
    case RequestKind::Replay:
      AnswerReplay(request, status, body);
      break;
  }
  return true;
}

void OnlineApplySettings(const OnlineSettings& settings) {
  OnlineSettings chosen = settings;
  chosen.server = NormalizeServerAddress(settings.server);
  view.settings = chosen;
  view.server = ServerInUse();
  SettingsSection section{kOnlineSection,
                          {{"Enabled", chosen.enabled ? "1" : "0"},
                           {"Server", chosen.server},
                           {"AutoSend", chosen.autoSend ? "1" : "0"}}};
  if (!TrySaveSettingsSection(section) && !SettingsFilePath().empty()) {
    std::fprintf(stderr, "TAVRO: the online choices could not be saved\n");
  }
  if (!Online()) {
    TablesOff();
    Changed();
    return;
  }
  QueueOutbox();
  SendNext();
  RequestTables();
}

void OnlineRefresh() {
  if (Online()) RequestTables();
}

void OnlineWatch(SharedPeriod period, int row) {
  const SharedRankingTable& table = view.tables[static_cast<int>(period)];
  if (!Online() || row < 0 || row >= table.count || table.rows[row].replay.empty()) return;
  Request request;
  request.kind = RequestKind::Replay;
  request.replayId = table.rows[row].replay;
  request.fromGame = std::max(1, table.rows[row].game);
  if (Start(request, "GET", "/api/v1/replays/" + request.replayId, std::string())) {
    view.watching = true;
    Changed();
  }
}

int OnlineRequestsInFlight() {
  return static_cast<int>(requests.size());
}

void OnlineReset() {
  view = SharedRankingViewData();
  defaultServer.clear();
  outboxFolder.clear();
  sharedFolder.clear();
  requests.clear();
  queue.clear();
  uploading = false;
  sessionOutboxName.clear();
}
