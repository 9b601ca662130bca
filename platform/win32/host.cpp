#include "platform/win32/host.h"

#include <shellapi.h>
#include <timeapi.h>
#include <windowsx.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "app/program.h"
#include "app/window_proc.h"
#include "host/files.h"
#include "host/window.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/playfield_scale.h"
#include "platform/win32/replay_player.h"
#include "platform/win32/settings_location.h"
#include "platform/win32/sound/directsound_mixer.h"
#include "platform/win32/text.h"
#include "records/settings.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "replay/store.h"
#include "res/win32/resource.h"
#include "sound/sound.h"
#include "surface/surface.h"
#include "world/world.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tavro_win32 {
namespace {

constexpr int kFramePeriodMs = 20;
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kWindowExStyle = WS_EX_OVERLAPPEDWINDOW;
// Posted by the console control handler's thread: end in order.
constexpr UINT kShutdownMessage = WM_APP + 1;

HINSTANCE instance = nullptr;
HWND mainWindow = nullptr;
int scale = 1;
SIZE outerSize = {kSurfaceWidth, kSurfaceHeight};

HANDLE frameTimer = nullptr;
bool timerPeriodRaised = false;

bool quitRequested = false;
int quitExitCode = 0;
std::atomic<bool> shutdownRequested{false};
HANDLE shutdownDone = nullptr;

std::time_t sessionStart = 0;

// Measuring aid (TAVRO_FRAME_LOG).
long long framesRun = 0;
LARGE_INTEGER firstFrame = {};
LARGE_INTEGER lastFrame = {};
LARGE_INTEGER programStart = {};
POINT clientOrigin = {};  // on the screen, at the first frame
int menuItems = 0;        // in the menu bar, at the first frame

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpi != nullptr && window != nullptr) return getDpi(window);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// The outer size of a window whose client area is width x height.
SIZE OuterSizeFor(int width, int height, UINT dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  RECT r = {0, 0, width, height};
  if (adjust != nullptr) {
    adjust(&r, kWindowStyle, TRUE, kWindowExStyle, dpi);
  } else {
    AdjustWindowRectEx(&r, kWindowStyle, TRUE, kWindowExStyle);
  }
  return {r.right - r.left, r.bottom - r.top};
}

// Picks the scale for the window's monitor and gives the window the size
// that shows the whole playfield at it. The client area is checked after the
// move, as a menu bar may take another height than the estimate.
void ApplyScale(HWND window, UINT dpi) {
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  RECT work = {0, 0, kSurfaceWidth, kSurfaceHeight};
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
    work = monitor.rcWork;
  }
  const SIZE chrome = OuterSizeFor(0, 0, dpi);
  scale = ChooseScale(work.right - work.left, work.bottom - work.top, chrome.cx, chrome.cy);
  const int side = kSurfaceWidth * scale;
  outerSize = OuterSizeFor(side, side, dpi);
  SetWindowPos(window, nullptr, 0, 0, outerSize.cx, outerSize.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client;
  GetClientRect(window, &client);
  if (client.right != side || client.bottom != side) {
    outerSize.cx += side - client.right;
    outerSize.cy += side - client.bottom;
    SetWindowPos(window, nullptr, 0, 0, outerSize.cx, outerSize.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void PresentSurface(HDC dc) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kSurfaceWidth;
  info.bmiHeader.biHeight = -kSurfaceHeight;  // rows top-down, as the surface keeps them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;  // 0x00RRGGBB is BI_RGB's blue, green, red, unused
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, 0, 0, kSurfaceWidth * scale, kSurfaceHeight * scale, 0, 0, kSurfaceWidth,
                kSurfaceHeight, SurfacePixels(), &info, DIB_RGB_COLORS, SRCCOPY);
}

void ShowSurface() {
  if (mainWindow == nullptr) return;
  HDC dc = GetDC(mainWindow);
  PresentSurface(dc);
  ReleaseDC(mainWindow, dc);
}

void StoreSessionRecord() {
  StoreSessionReplay(DefaultReplaysFolder(), sessionStart);
}

void EndProgramOnce() {
  if (!quitRequested) EndProgram();
}

BOOL WINAPI ConsoleControlHandler(DWORD) {
  // Runs on a thread of its own: the main thread does the work, and the
  // process ends when this returns.
  shutdownRequested = true;
  if (mainWindow != nullptr) PostMessageW(mainWindow, kShutdownMessage, 0, 0);
  if (shutdownDone != nullptr) WaitForSingleObject(shutdownDone, 4000);
  return TRUE;
}

// An orderly end asked for from outside: open boxes are closed, and the main
// loop runs the destroy step once they have returned.
void HandleShutdownRequest() {
  if (!shutdownRequested || quitRequested) return;
  EndProgramOnce();
  if (mainWindow != nullptr) DestroyWindow(mainWindow);
}

void CountFrame() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  if (framesRun == 0) {
    firstFrame = now;
    if (mainWindow != nullptr) {
      ClientToScreen(mainWindow, &clientOrigin);
      menuItems = GetMenuItemCount(GetMenu(mainWindow));
    }
  }
  lastFrame = now;
  framesRun++;
}

void WriteFrameLog() {
  const wchar_t* path = _wgetenv(L"TAVRO_FRAME_LOG");
  if (path == nullptr || path[0] == L'\0') return;
  LARGE_INTEGER frequency;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  FILETIME created, exited, kernel, user;
  double cpu = 0;
  if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    auto seconds = [](FILETIME t) {
      return static_cast<double>((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
    };
    cpu = seconds(kernel) + seconds(user);
  }
  const double f = static_cast<double>(frequency.QuadPart);
  if (std::FILE* log = _wfopen(path, L"w")) {
    std::fprintf(log, "frames %lld\nframe_seconds %.4f\nwall_seconds %.4f\ncpu_seconds %.4f\n",
                 framesRun, static_cast<double>(lastFrame.QuadPart - firstFrame.QuadPart) / f,
                 static_cast<double>(now.QuadPart - programStart.QuadPart) / f, cpu);
    std::fprintf(log, "sound %s\nscale %d\ntimer %s\n", MixerPathName(), scale,
                 timerPeriodRaised ? "timeBeginPeriod" : "high-resolution");
    std::fprintf(log, "client %ld %ld\nmenu_items %d\n", clientOrigin.x, clientOrigin.y, menuItems);
    std::fclose(log);
  }
}

void ApplyMenuState(HMENU popup, int position) {
  MenuItemState items[2];
  const int count = OnInitMenuPopup(position, items);
  for (int i = 0; i < count; i++) {
    EnableMenuItem(popup, static_cast<UINT>(items[i].id),
                   MF_BYCOMMAND | (items[i].enabled ? MF_ENABLED : MF_GRAYED));
    if (items[i].id == ID_SETTINGS_RAPID || items[i].id == ID_SETTINGS_SOUND) {
      CheckMenuItem(popup, static_cast<UINT>(items[i].id),
                    MF_BYCOMMAND | (items[i].checked ? MF_CHECKED : MF_UNCHECKED));
    }
  }
}

void ClientMouse(LPARAM lParam, void (*handler)(int, int)) {
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  if (x < 0 || y < 0 || x >= kSurfaceWidth * scale || y >= kSurfaceHeight * scale) return;
  handler(GameCoordinate(x, scale), GameCoordinate(y, scale));
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      // Closed some other way than the confirmed close: still in order.
      EndProgramOnce();
      if (window == mainWindow) mainWindow = nullptr;
      return 0;
    case WM_SIZE:
      // The window keeps the size that shows the playfield at its scale.
      if (wParam != SIZE_MINIMIZED) {
        RECT r;
        GetWindowRect(window, &r);
        if (r.right - r.left != outerSize.cx || r.bottom - r.top != outerSize.cy) {
          SetWindowPos(window, HWND_TOP, 0, 0, outerSize.cx, outerSize.cy, SWP_NOMOVE);
        }
      }
      return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyScale(window, HIWORD(wParam));
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    case WM_PAINT: {
      // While one of the program's boxes is open the playfield is redrawn
      // whole from the world; otherwise it shows the surface as drawn.
      if (World.modalOpen != 0 && !PlaybackActive()) OnPaint();
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PresentSurface(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_CLOSE:
      // A replay has nothing to lose and ends without asking.
      if (quitRequested || PlaybackActive() || shutdownRequested) {
        EndProgramOnce();
        DestroyWindow(window);
      } else if (OnClose()) {
        DestroyWindow(window);
      }
      return 0;
    case WM_COMMAND:
      if (PlaybackActive() || !OnCommand(LOWORD(wParam))) {
        return DefWindowProcW(window, message, wParam, lParam);
      }
      return 0;
    case WM_INITMENUPOPUP:
      if (HIWORD(lParam) == 0) ApplyMenuState(reinterpret_cast<HMENU>(wParam), LOWORD(lParam));
      return 0;
    case WM_MOUSEMOVE:
      if (!PlaybackActive()) ClientMouse(lParam, OnMouseMove);
      return 0;
    case WM_LBUTTONDOWN:
      if (!PlaybackActive()) ClientMouse(lParam, OnLeftButtonDown);
      return 0;
    case WM_QUERYENDSESSION:
      // The session may still go on; only the data is kept now.
      if (!PlaybackActive()) SaveSettings();
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE) {
        shutdownRequested = true;
        EndProgramOnce();
      }
      return 0;
    case kShutdownMessage:
      CloseOpenBoxes();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool RegisterWindowClass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TAVRO));
  wc.hCursor = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_CROSSHAIR));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
  wc.lpszClassName = kWindowClass;
  return RegisterClassExW(&wc) != 0;
}

// A periodic 20 ms waitable timer. The high-resolution kind keeps its
// period on any system timer; without it the system timer is raised to 1 ms.
bool StartFrameTimer() {
  frameTimer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                      TIMER_ALL_ACCESS);
  if (frameTimer == nullptr) {
    timerPeriodRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
    frameTimer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
  }
  if (frameTimer == nullptr) return false;
  LARGE_INTEGER due;
  due.QuadPart = -10000LL * kFramePeriodMs;  // relative, in 100 ns units
  return SetWaitableTimer(frameTimer, &due, kFramePeriodMs, nullptr, nullptr, FALSE) != FALSE;
}

// The timer is auto-reset: ticks missed while the program was busy count as
// one, like the frame flag they set.
void TakeTick() {
  if (frameTimer != nullptr && WaitForSingleObject(frameTimer, 0) == WAIT_OBJECT_0) {
    World.frameTick = 1;
  }
}

bool RunOneFrame() {
  if (PlaybackActive()) {
    if (PlaybackFastForwarding()) {
      // the first picture shown is the one the jump arrived at
      if (!FastForwardFor(15)) ShowSurface();
      return true;
    }
    World.frameTick = 0;
    if (!PlaybackFrame()) return false;
  } else {
    RunFrame();
    // after a game: the record so far is kept
    if (ReplayTakeWriteRequest()) StoreSessionRecord();
  }
  CountFrame();
  ShowSurface();
  return true;
}

int MainLoop() {
  MSG msg;
  for (;;) {
    // Messages first.
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      HandleShutdownRequest();
    }
    HandleShutdownRequest();
    if (quitRequested) {
      if (mainWindow != nullptr) DestroyWindow(mainWindow);
      continue;  // the quit message is on its way
    }
    TakeTick();
    const bool finishedReplay = PlaybackActive() && PlaybackFinished();
    if (!finishedReplay && (World.frameTick != 0 || (WaitFlag == 0 && !PlaybackActive()) ||
                            PlaybackFastForwarding())) {
      if (RunOneFrame()) continue;
    }
    // Nothing is due: sleep until the next tick or message.
    const DWORD count = frameTimer != nullptr ? 1 : 0;
    if (MsgWaitForMultipleObjectsEx(count, &frameTimer, INFINITE, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0) {
      World.frameTick = 1;
    }
  }
}

struct Options {
  std::string replayPath;
  int fromGame = 0;
};

const char kUsage[] =
    "usage: Tavro.exe                      play\n"
    "       Tavro.exe [--replay] FILE [--from-game N]\n"
    "                                      watch a recorded session (from its game N)\n";

bool ParseArguments(Options* options, std::string* error) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return true;
  bool ok = true;
  for (int i = 1; ok && i < count; i++) {
    const std::wstring argument = arguments[i];
    const bool hasValue = i + 1 < count;
    if (argument == L"--replay" || (!argument.empty() && argument[0] != L'-')) {
      if (!options->replayPath.empty()) {
        *error = "one replay at a time";
        ok = false;
      } else if (argument[0] == L'-' && !hasValue) {
        *error = "missing file after --replay";
        ok = false;
      } else {
        options->replayPath = Narrow(argument[0] == L'-' ? arguments[++i] : argument);
        if (options->replayPath.empty()) {
          *error = "empty replay path";
          ok = false;
        }
      }
    } else if (argument == L"--from-game") {
      wchar_t* end = nullptr;
      const long game = hasValue ? std::wcstol(arguments[++i], &end, 10) : 0;
      if (end == nullptr || *end != L'\0' || game < 1 || game > 1000000) {
        *error = "--from-game needs a game number from 1";
        ok = false;
      } else {
        options->fromGame = static_cast<int>(game);
      }
    } else {
      *error = "unknown option " + Narrow(argument);
      ok = false;
    }
  }
  LocalFree(arguments);
  if (ok && options->fromGame > 0 && options->replayPath.empty()) {
    *error = "--from-game needs a replay";
    ok = false;
  }
  return ok;
}

void ShowReplayError(const std::string& message) {
  std::fprintf(stderr, "tavro: %s\n", message.c_str());
  const std::wstring text = L"The replay cannot be played.\n\n" + Widen(message);
  MessageBoxW(nullptr, text.c_str(), L"TAVRO", MB_OK | MB_ICONERROR);
}

// Refuses what the game never ran on: Windows 9x, Win32s and NT 3.x.
bool SupportedSystem() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
#pragma GCC diagnostic pop
  const wchar_t* refusal = nullptr;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    refusal = L"WIN9X is not supported";
  } else if (version.dwPlatformId == VER_PLATFORM_WIN32s) {
    refusal = L"WIN32s is not supported";
  } else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion < 4) {
    refusal = L"NT Ver.3.x is not supported";
  }
  if (refusal == nullptr) return true;
  MessageBoxW(nullptr, refusal, L"Initialize error", MB_OK | MB_ICONERROR);
  return false;
}

// The executable's folder becomes BaseDirectory and the current directory.
void SetBaseDirectory() {
  std::string base = PlatformExecutableFolder();
  if (base.size() >= static_cast<std::size_t>(kMaxPath) ||
      !SetCurrentDirectoryW(Widen(base).c_str())) {
    // Unusable or too long for the buffer: the current directory stands for it.
    base = ".";
  }
  std::memcpy(BaseDirectory, base.c_str(), base.size() + 1);
}

void PrepareSettingsFile() {
  const std::string path = DefaultSettingsFilePath();
  MigrateOldSettings(path, OldSettingsFileCandidates(), CP_ACP);
  SetSettingsFilePath(path);
}

}  // namespace

HINSTANCE InstanceHandle() {
  return instance;
}

HWND MainWindowHandle() {
  return mainWindow;
}

int RunProgram(HINSTANCE hInstance, int showCommand) {
  QueryPerformanceCounter(&programStart);
  if (!SupportedSystem()) return 0;
  Options options;
  std::string error;
  if (!ParseArguments(&options, &error)) {
    ShowReplayError(error + "\n\n" + kUsage);
    return 2;
  }
  // Read before the current directory moves to the executable's folder.
  ReplaySession session;
  const bool replay = !options.replayPath.empty();
  if (replay && !LoadReplayFile(options.replayPath, options.fromGame, &session, &error)) {
    ShowReplayError(options.replayPath + ": " + error);
    return 2;
  }
  std::strncpy(ProgramName, "Tavro.exe", sizeof ProgramName - 1);
  SetBaseDirectory();
  instance = hInstance;
  if (!RegisterWindowClass()) return 0;
  mainWindow = CreateWindowExW(kWindowExStyle, kWindowClass, kWindowTitle, kWindowStyle,
                               CW_USEDEFAULT, CW_USEDEFAULT, kSurfaceWidth, kSurfaceHeight, nullptr,
                               nullptr, instance, nullptr);
  if (mainWindow == nullptr) return 0;
  ApplyScale(mainWindow, WindowDpi(mainWindow));
  ClearSurface();
  InitSurfaceFont();
  ShowWindow(mainWindow, showCommand);
  UpdateWindow(mainWindow);

  if (replay) {
    BeginReplayPlayback(session);
    ShowPlaybackInWindow();
  } else {
    PrepareSettingsFile();
  }
  sessionStart = std::time(nullptr);
  StartUp();
  if (replay) StartReplayPlayback();
  shutdownDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);
  StartFrameTimer();
  const int code = MainLoop();
  WriteFrameLog();
  if (timerPeriodRaised) timeEndPeriod(1);
  if (shutdownDone != nullptr) SetEvent(shutdownDone);
  return code;
}

}  // namespace tavro_win32

using tavro_win32::MainWindowHandle;

bool PlatformConfirm(ConfirmBox box) {
  if (tavro_win32::shutdownRequested) return false;
  const wchar_t* text = box == ConfirmBox::Exit ? L"プログラムを終了してもいいですか ?"
                                                : L"ランキングをクリアしてよろしいですか？";
  return MessageBoxW(MainWindowHandle(), text, L"TAVRO",
                     MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2 | MB_TASKMODAL) == IDOK;
}

void PlatformAboutDialog() {
  if (tavro_win32::shutdownRequested) return;
  DialogBoxParamW(tavro_win32::InstanceHandle(), MAKEINTRESOURCEW(IDD_ABOUT), MainWindowHandle(),
                  tavro_win32::AboutDialogProc, 0);
}

bool PlatformNameEntry(char* text, std::size_t capacity) {
  if (capacity == 0) return false;
  std::string name;
  if (!tavro_win32::shutdownRequested &&
      !tavro_win32::RunNameEntryDialog(MainWindowHandle(), &name)) {
    return false;
  }
  // The core cleans and cuts the name; here it only has to fit, whole
  // characters only.
  std::size_t n = name.size() < capacity - 1 ? name.size() : capacity - 1;
  if (n < name.size()) {
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) n--;
  }
  std::memcpy(text, name.data(), n);
  text[n] = '\0';
  return true;
}

void PlatformSleep(int milliseconds) {
  // The frames of a replay's jump are neither shown nor drawn out.
  if (PlaybackFastForwarding()) return;
  tavro_win32::ShowSurface();
  if (tavro_win32::shutdownRequested || milliseconds <= 0) return;
  Sleep(static_cast<DWORD>(milliseconds));
}

void PlatformPostClose() {
  if (HWND window = MainWindowHandle()) PostMessageW(window, WM_CLOSE, 0, 0);
}

void PlatformQuit(int exitCode) {
  tavro_win32::quitRequested = true;
  tavro_win32::quitExitCode = exitCode;
  PostQuitMessage(exitCode);
  // The destroy step has saved the settings: now the session's record.
  tavro_win32::StoreSessionRecord();
}
