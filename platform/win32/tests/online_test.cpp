// The Windows program's shared ranking parts that stand alone: WinHTTP
// requests against a real socket server in this process, the watching
// copy's command line, and the resource script's menu and hints against
// the program's own texts. Run under Wine.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/texts.h"
#include "platform/win32/command_line.h"
#include "platform/win32/http_transfer.h"
#include "platform/win32/text.h"
#include "res/win32/resource.h"

namespace tavro_win32 {
namespace {

// A one-connection HTTP server on 127.0.0.1: it reads one request (its
// head and a body of Content-Length bytes) and sends `answer` whole, or
// nothing while the client waits when answer is empty.
class OneShotServer {
 public:
  explicit OneShotServer(std::string answer) : answer_(std::move(answer)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 1);
    int size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    done_ = true;
    closesocket(listener_);
    thread_.join();
    WSACleanup();
  }
  std::string Url(const char* path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // The request as it came, once the client has its answer.
  const std::string& Request() const { return request_; }

 private:
  void Serve() {
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    char chunk[4096];
    std::size_t wanted = std::string::npos;
    while (wanted == std::string::npos || request_.size() < wanted) {
      const int got = recv(client, chunk, sizeof chunk, 0);
      if (got <= 0) break;
      request_.append(chunk, static_cast<std::size_t>(got));
      const std::size_t head = request_.find("\r\n\r\n");
      if (wanted == std::string::npos && head != std::string::npos) {
        const std::size_t length = request_.find("Content-Length: ");
        wanted =
            head + 4 + (length == std::string::npos ? 0 : std::stoul(request_.substr(length + 16)));
      }
    }
    if (answer_.empty()) {
      // Silent until the client gives up and closes, or the test ends.
      while (!done_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        timeval tick = {0, 100000};
        if (select(0, &readable, nullptr, nullptr, &tick) > 0 &&
            recv(client, chunk, sizeof chunk, 0) <= 0) {
          break;
        }
      }
    } else {
      send(client, answer_.data(), static_cast<int>(answer_.size()), 0);
    }
    closesocket(client);
  }

  std::string answer_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::string request_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

std::string Answer(const char* statusLine, const std::string& body) {
  return std::string("HTTP/1.1 ") + statusLine + "\r\nContent-Type: application/json\r\n" +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

TEST(HttpTransfer, AnswersStatusAndBodyAndSendsTheReplayAsUtf8Text) {
  struct Case {
    const char* method;
    const char* path;
    std::string sent;
    const char* statusLine;
    std::string body;
    int status;
  };
  const Case cases[] = {
      {"GET", "/api/v1/ranking?period=week&limit=10", "", "200 OK",
       "{\"entries\":[{\"name\":\"太郎\"}]}", 200},
      {"POST", "/api/v1/replays", "#@ tavro-replay 1\n0 name 太郎\n", "422 Unprocessable Entity",
       "{\"accepted\":0}", 422},
      {"GET", "/api/v1/replays/ab", "", "404 Not Found", "", 404},
      {"POST", "/api/v1/replays", std::string(300000, 'x'), "200 OK", "{}", 200},
  };
  for (const Case& c : cases) {
    OneShotServer server(Answer(c.statusLine, c.body));
    const HttpResult result = HttpTransfer(c.method, server.Url(c.path), c.sent, 20000);
    EXPECT_EQ(result.status, c.status) << c.method << " " << c.path;
    EXPECT_EQ(result.body, c.body) << c.method << " " << c.path;
    const std::string& request = server.Request();
    EXPECT_EQ(request.rfind(std::string(c.method) + " " + c.path + " HTTP/1.1\r\n", 0), 0u)
        << request.substr(0, 80);
    const bool post = std::string(c.method) == "POST";
    EXPECT_EQ(request.find("Content-Type: text/plain; charset=utf-8\r\n") != std::string::npos,
              post)
        << c.method << " " << c.path;
    if (post) {
      ASSERT_GE(request.size(), c.sent.size());
      EXPECT_EQ(request.substr(request.size() - c.sent.size()), c.sent);
    }
  }
}

TEST(HttpTransfer, NoAnswerIsStatusZero) {
  // A server that never answers, within a short time.
  {
    OneShotServer silent("");
    const HttpResult result = HttpTransfer("GET", silent.Url("/healthz"), "", 500);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.body, "");
  }
  // An answer cut before its end.
  {
    OneShotServer cut("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nshort");
    EXPECT_EQ(HttpTransfer("GET", cut.Url("/api/v1/ranking"), "", 20000).status, 0);
  }
  // Nobody listening: the port of a server that has gone.
  std::string gone;
  {
    OneShotServer server(Answer("200 OK", ""));
    gone = server.Url("/api/v1/ranking");
    HttpTransfer("GET", gone, "", 20000);
  }
  EXPECT_EQ(HttpTransfer("GET", gone, "", 20000).status, 0);
  // Addresses that are not http(s).
  for (const char* url : {"", "127.0.0.1:8080/api", "ftp://127.0.0.1/x", "http://"}) {
    EXPECT_EQ(HttpTransfer("GET", url, "", 20000).status, 0) << url;
  }
}

TEST(CommandLine, WatchCommandLineReadsBackAsItsArguments) {
  const std::wstring cases[] = {
      L"C:\\Users\\Taro\\AppData\\Local\\TAVRO\\replays\\shared\\ab.tavroreplay",
      L"C:\\Program Files\\隕石\\a b.tavroreplay",
      L"C:\\odd\"quote\\",
      L"\\\\server\\share\\trailing\\",
      L"",
  };
  for (const std::wstring& path : cases) {
    const std::wstring line = WatchCommandLine(L"C:\\Games\\TAVRO x\\Tavro.exe", path, 3);
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(words, nullptr);
    ASSERT_EQ(count, 5) << Narrow(line);
    EXPECT_EQ(std::wstring(words[0]), L"C:\\Games\\TAVRO x\\Tavro.exe");
    EXPECT_EQ(std::wstring(words[1]), L"--replay");
    EXPECT_EQ(std::wstring(words[2]), path) << Narrow(line);
    EXPECT_EQ(std::wstring(words[3]), L"--from-game");
    EXPECT_EQ(std::wstring(words[4]), L"3");
    LocalFree(words);
  }
}

std::wstring MenuText(HMENU menu, UINT position) {
  wchar_t text[128] = {};
  GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
  return text;
}

// The resource script keeps its own copy of the menu and the hints: it has
// every item of the program's menu, in order, with the same texts and ids.
TEST(Resources, MenuAndHintsAreTheProgramsTexts) {
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINMENU));
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 3);
  for (int p = 0; p < 3; p++) {
    const PopupEntry& popup = kMainMenu[p];
    EXPECT_EQ(MenuText(menu, p), Widen(popup.title));
    HMENU items = GetSubMenu(menu, p);
    ASSERT_NE(items, nullptr);
    ASSERT_EQ(GetMenuItemCount(items), popup.count) << popup.title;
    for (int i = 0; i < popup.count; i++) {
      const MenuEntry& entry = popup.items[i];
      const UINT state = GetMenuState(items, i, MF_BYPOSITION);
      if (entry.text == nullptr) {
        EXPECT_NE(state & MF_SEPARATOR, 0u) << popup.title << " " << i;
        continue;
      }
      EXPECT_EQ(GetMenuItemID(items, i), static_cast<UINT>(entry.id));
      EXPECT_EQ(MenuText(items, i), Widen(entry.text));
    }
  }
  DestroyMenu(menu);
  for (int id = kFirstCommand; id < kFirstCommand + kCommandCount; id++) {
    wchar_t hint[256] = {};
    EXPECT_GT(LoadStringW(GetModuleHandleW(nullptr), id, hint, 256), 0) << id;
    EXPECT_EQ(std::wstring(hint), Widen(CommandHint(id))) << id;
  }
}

}  // namespace
}  // namespace tavro_win32
