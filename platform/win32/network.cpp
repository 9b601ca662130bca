// host/network.h for the Windows program: WinHTTP on a worker thread per
// request, the answers handed to the session by the main window's
// procedure, a second copy of the program for watching.
#include "platform/win32/network.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/session.h"
#include "host/network.h"
#include "platform/win32/command_line.h"
#include "platform/win32/host.h"
#include "platform/win32/http_transfer.h"
#include "platform/win32/status_bar.h"
#include "platform/win32/text.h"

namespace tavro_win32 {
namespace {

// What a worker owns: its request, and where to post the answer.
struct HttpJob {
  int id;
  HWND window;
  std::string method;
  std::string url;
  std::string body;
};

struct HttpAnswer {
  int id;
  HttpResult result;
};

// The requests not answered yet, by id: the worker's thread and when the
// request is given up.
struct Pending {
  HANDLE thread;
  ULONGLONG deadline;
};
std::map<int, Pending> pending;
// Workers whose requests were given up but that still run.
std::vector<HANDLE> abandoned;

DWORD WINAPI HttpWorker(void* parameter) {
  HttpJob* job = static_cast<HttpJob*>(parameter);
  auto* answer = new HttpAnswer{
      job->id, HttpTransfer(job->method.c_str(), job->url, job->body, kHttpTimeoutSeconds * 1000)};
  // A window gone (the program ending) takes no message: the answer is
  // dropped here.
  if (!PostMessageW(job->window, kHttpAnswerMessage, 0, reinterpret_cast<LPARAM>(answer))) {
    delete answer;
  }
  delete job;
  return 0;
}

void ForgetEndedWorkers() {
  abandoned.erase(std::remove_if(abandoned.begin(), abandoned.end(),
                                 [](HANDLE thread) {
                                   if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) {
                                     return false;
                                   }
                                   CloseHandle(thread);
                                   return true;
                                 }),
                  abandoned.end());
}

void StopDeadlineTimerWhenIdle() {
  if (pending.empty() && MainWindowHandle() != nullptr) {
    KillTimer(MainWindowHandle(), kHttpDeadlineTimer);
  }
}

}  // namespace

void TakeHttpAnswer(LPARAM message) {
  HttpAnswer* answer = reinterpret_cast<HttpAnswer*>(message);
  const auto found = pending.find(answer->id);
  if (found != pending.end()) {
    CloseHandle(found->second.thread);
    pending.erase(found);
    StopDeadlineTimerWhenIdle();
    SessionHttpAnswer(answer->id, answer->result.status, answer->result.body);
  }
  // else: given up already, and answered then
  delete answer;
}

void CheckHttpDeadlines() {
  const ULONGLONG now = GetTickCount64();
  std::vector<int> late;
  for (const auto& [id, request] : pending) {
    if (now >= request.deadline) late.push_back(id);
  }
  for (const int id : late) {
    abandoned.push_back(pending[id].thread);
    pending.erase(id);
    SessionHttpAnswer(id, 0, std::string());
  }
  ForgetEndedWorkers();
  StopDeadlineTimerWhenIdle();
}

void WaitForHttpWorkers(DWORD milliseconds) {
  std::vector<HANDLE> running = abandoned;
  for (const auto& [id, request] : pending) running.push_back(request.thread);
  const ULONGLONG end = GetTickCount64() + milliseconds;
  // WaitForMultipleObjects takes at most MAXIMUM_WAIT_OBJECTS at once.
  for (HANDLE thread : running) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    WaitForSingleObject(thread, static_cast<DWORD>(end - now));
  }
}

}  // namespace tavro_win32

bool PlatformHttpStart(const HttpRequest& request) {
  using namespace tavro_win32;
  HWND window = MainWindowHandle();
  if (window == nullptr || request.method == nullptr || pending.count(request.id) != 0) {
    return false;
  }
  auto* job = new HttpJob{request.id, window, request.method, request.url, request.body};
  HANDLE thread = CreateThread(nullptr, 0, HttpWorker, job, 0, nullptr);
  if (thread == nullptr) {
    delete job;
    return false;
  }
  // The deadline, a little after the worker's own, answers even a worker
  // stuck in a call that ignores its timeouts.
  pending[request.id] = {thread, GetTickCount64() + kHttpTimeoutSeconds * 1000ull + 1000};
  SetTimer(window, kHttpDeadlineTimer, 1000, nullptr);
  return true;
}

std::string PlatformDefaultServer() {
  return std::string();
}

void PlatformWatchReplay(const std::string& path, int fromGame) {
  using namespace tavro_win32;
  std::wstring program(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
    if (length == 0) return;
    if (length < program.size()) {
      program.resize(length);
      break;
    }
    program.resize(program.size() * 2);
  }
  std::wstring file = Widen(path);
  std::replace(file.begin(), file.end(), L'/', L'\\');
  std::wstring commandLine = WatchCommandLine(program, file, fromGame);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    MessageBeep(MB_ICONERROR);
    return;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

void PlatformShowOnlineStatus(const char* text) {
  tavro_win32::SetStatusLine(tavro_win32::Widen(text));
}
