#include "platform/win32/host.h"

#include <commctrl.h>
#include <shellapi.h>
#include <timeapi.h>
#include <windowsx.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/program.h"
#include "app/session.h"
#include "app/texts.h"
#include "host/files.h"
#include "host/window.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/network.h"
#include "platform/win32/playfield_scale.h"
#include "platform/win32/settings_location.h"
#include "platform/win32/shared_ranking_dialog.h"
#include "platform/win32/sound/directsound_mixer.h"
#include "platform/win32/status_bar.h"
#include "platform/win32/text.h"
#include "records/ranking.h"
#include "replay/replay_file.h"
#include "res/win32/resource.h"
#include "surface/dirty_region.h"
#include "surface/surface.h"
#include "world/world.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tavro_win32 {
namespace {

// A window of a fixed size (the playfield at its scale, the status bar under
// it): no sizing border and no maximize box, so the system menu's Size and
// Maximize are greyed.
constexpr DWORD kWindowStyle =
    (WS_OVERLAPPEDWINDOW & ~(WS_THICKFRAME | WS_MAXIMIZEBOX)) | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_OVERLAPPEDWINDOW;
// Posted by the console control handler's thread: end in order.
constexpr UINT kShutdownMessage = WM_APP + 1;

HINSTANCE instance = nullptr;
HWND mainWindow = nullptr;
int scale = 1;
SIZE outerSize = {kSurfaceWidth, kSurfaceHeight};

HANDLE frameTimer = nullptr;
bool timerPeriodRaised = false;
// The kind of frame timer running, for the frame log.
const char* timerKind = "none";

bool quitRequested = false;
int quitExitCode = 0;
std::atomic<bool> shutdownRequested{false};
HANDLE shutdownDone = nullptr;

// Measuring aid (TAVRO_FRAME_LOG).
long long framesRun = 0;
LARGE_INTEGER firstFrame = {};
LARGE_INTEGER lastFrame = {};
LARGE_INTEGER programStart = {};
POINT clientOrigin = {};                 // on the screen, at the first frame
int menuItems = 0;                       // in the menu bar, at the first frame
const char* soundAtFirstFrame = "none";  // the mixer's path while open

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
// that shows the whole playfield at it, with the status bar below. The
// client area is checked after the move, as a menu bar may take another
// height than the estimate.
void ApplyScale(HWND window, UINT dpi) {
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  RECT work = {0, 0, kSurfaceWidth, kSurfaceHeight};
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
    work = monitor.rcWork;
  }
  const int bar = StatusBarHeight();
  const SIZE chrome = OuterSizeFor(0, bar, dpi);
  scale = ChooseScale(work.right - work.left, work.bottom - work.top, chrome.cx, chrome.cy);
  const int side = kSurfaceWidth * scale;
  outerSize = OuterSizeFor(side, side + bar, dpi);
  SetWindowPos(window, nullptr, 0, 0, outerSize.cx, outerSize.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client;
  GetClientRect(window, &client);
  if (client.right != side || client.bottom != side + bar) {
    outerSize.cx += side - client.right;
    outerSize.cy += side + bar - client.bottom;
    SetWindowPos(window, nullptr, 0, 0, outerSize.cx, outerSize.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// The part x, y, width, height of the surface (game pixels), at the scale.
// The source is the band of whole rows y .. y+height-1, given as a picture of
// its own, so that no source row offset is needed: how StretchDIBits counts
// that offset for a top-down picture differs between systems.
void PresentPart(HDC dc, int x, int y, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kSurfaceWidth;
  info.bmiHeader.biHeight = -height;  // rows top-down, as the surface keeps them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;  // 0x00RRGGBB is BI_RGB's blue, green, red, unused
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, x * scale, y * scale, width * scale, height * scale, x, 0, width, height,
                SurfacePixels() + static_cast<std::ptrdiff_t>(y) * kSurfaceWidth, &info,
                DIB_RGB_COLORS, SRCCOPY);
}

void PresentSurface(HDC dc) {
  PresentPart(dc, 0, 0, kSurfaceWidth, kSurfaceHeight);
}

// Shows what the frames drew since the last show: only the region the
// surface says they touched.
void ShowSurface() {
  if (mainWindow == nullptr) return;
  // each StretchDIBits has its own fixed cost: a few bands at most
  constexpr int kMostRectangles = 16;
  static DirtyRegion drawn;
  TakeDirtyRegion(&drawn, kMostRectangles);
  if (drawn.count == 0) return;
  HDC dc = GetDC(mainWindow);
  for (int i = 0; i < drawn.count; ++i) {
    const SurfaceRect& r = drawn.rects[i];
    PresentPart(dc, r.x, r.y, r.width, r.height);
  }
  ReleaseDC(mainWindow, dc);
}

void EndProgramOnce() {
  if (!quitRequested) SessionEnd();
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
    soundAtFirstFrame = MixerPathName();
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
    // The mixer is closed by now; it names the path its last opening took.
    std::fprintf(log, "sound %s\nsound_first_frame %s\nscale %d\ntimer %s\n", MixerPathName(),
                 soundAtFirstFrame, scale, timerKind);
    std::fprintf(log, "client %ld %ld\nmenu_items %d\nabout_cut %d\n", clientOrigin.x,
                 clientOrigin.y, menuItems, AboutTextsCut());
    // The status bar's last line and what the shared ranking dialog showed.
    std::fprintf(log, "status %s\n%s", StatusText().c_str(), SharedRankingDialogLog().c_str());
    std::fclose(log);
  }
}

void ApplyMenuState(HMENU popup, int position) {
  MenuItemState items[kMaxPopupItems];
  const int count = SessionMenuState(position, items);
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
      KeepStatusText();
      // Closed some other way than the confirmed close: still in order.
      EndProgramOnce();
      if (window == mainWindow) mainWindow = nullptr;
      return 0;
    case WM_SIZE:
      // The window keeps the size that shows the playfield at its scale;
      // maximized from outside, it goes back to where it was.
      if (wParam == SIZE_MAXIMIZED) {
        PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
      } else if (wParam != SIZE_MINIMIZED) {
        ResizeStatusBar();
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
      if (World.modalOpen != 0) SessionPaint();
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PresentSurface(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_CLOSE:
      if (shutdownRequested) {
        EndProgramOnce();
        DestroyWindow(window);
      } else if (SessionCloseRequest()) {
        DestroyWindow(window);
      }
      return 0;
    case WM_COMMAND:
      if (!SessionMenuCommand(LOWORD(wParam))) {
        return DefWindowProcW(window, message, wParam, lParam);
      }
      return 0;
    case WM_MENUSELECT:
      ShowMenuHint(wParam, lParam);
      return 0;
    case WM_EXITMENULOOP:
      EndMenuHint();
      return 0;
    case WM_CHAR:
      // During a replay: pause, one frame, speed, next game.
      SessionPlaybackKey(static_cast<int>(wParam));
      return 0;
    case kHttpAnswerMessage:
      TakeHttpAnswer(lParam);
      return 0;
    case WM_TIMER:
      if (wParam == kHttpDeadlineTimer) CheckHttpDeadlines();
      return 0;
    case WM_INITMENUPOPUP:
      if (HIWORD(lParam) == 0) ApplyMenuState(reinterpret_cast<HMENU>(wParam), LOWORD(lParam));
      return 0;
    case WM_MOUSEMOVE:
      ClientMouse(lParam, SessionMove);
      return 0;
    case WM_LBUTTONDOWN:
      ClientMouse(lParam, SessionClick);
      return 0;
    case WM_QUERYENDSESSION:
      // The session may still go on; only the data is kept now.
      KeepNameBeingTyped();
      SessionSaveNow();
      return TRUE;
    case WM_ENDSESSION:
      // The process may end as soon as this returns: the destroy step runs
      // now, inside any box still open.
      if (wParam != FALSE) {
        shutdownRequested = true;
        KeepNameBeingTyped();
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
  timerKind = "high-resolution";
  frameTimer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                      TIMER_ALL_ACCESS);
  if (frameTimer == nullptr) {
    timerPeriodRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
    timerKind = timerPeriodRaised ? "timeBeginPeriod" : "waitable";
    frameTimer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
  }
  LARGE_INTEGER due;
  due.QuadPart = -10000LL * kFramePeriodMs;  // relative, in 100 ns units
  if (frameTimer != nullptr &&
      !SetWaitableTimer(frameTimer, &due, kFramePeriodMs, nullptr, nullptr, FALSE)) {
    CloseHandle(frameTimer);
    frameTimer = nullptr;
  }
  if (frameTimer == nullptr) timerKind = "none";
  return frameTimer != nullptr;
}

// The timer is auto-reset: ticks missed while the program was busy count as
// one, like the frame flag they set.
void TakeTick() {
  if (frameTimer != nullptr && WaitForSingleObject(frameTimer, 0) == WAIT_OBJECT_0) {
    SessionTick();
  }
}

int MainLoop() {
  MSG msg;
  for (;;) {
    // Messages first.
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
      if (!SharedRankingDialogMessage(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      HandleShutdownRequest();
    }
    HandleShutdownRequest();
    if (quitRequested) {
      if (mainWindow != nullptr) DestroyWindow(mainWindow);
      continue;  // the quit message is on its way
    }
    TakeTick();
    const StepOutcome step = SessionStep();
    if (step.frame) CountFrame();
    if (step.show) ShowSurface();
    if (step.ran) continue;
    // Nothing is due: sleep until the next tick or message.
    const DWORD count = frameTimer != nullptr ? 1 : 0;
    if (MsgWaitForMultipleObjectsEx(count, &frameTimer, INFINITE, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0) {
      SessionTick();
    }
  }
}

// The command line in UTF-8, without the program's name.
std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> words;
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return words;
  for (int i = 1; i < count; i++) words.push_back(Narrow(arguments[i]));
  LocalFree(arguments);
  return words;
}

void ShowUsage(const std::string& usage) {
  std::fputs(usage.c_str(), stdout);
  MessageBoxW(nullptr, Widen(usage).c_str(), L"TAVRO", MB_OK | MB_ICONINFORMATION);
}

void ShowReplayError(const std::string& message) {
  std::fprintf(stderr, "tavro: %s\n", message.c_str());
  const std::wstring text = Widen(std::string(kReplayErrorIntro) + message);
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
  ProgramOptions options;
  std::string error;
  if (!ParseProgramArguments(CommandLineArguments(), &options, &error)) {
    ShowReplayError(error + "\n\n" + ProgramUsage("Tavro.exe"));
    return 2;
  }
  if (options.help) {
    ShowUsage(ProgramUsage("Tavro.exe"));
    return 0;
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
  INITCOMMONCONTROLSEX controls = {sizeof controls,
                                   ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  if (!RegisterWindowClass()) return 0;
  mainWindow = CreateWindowExW(kWindowExStyle, kWindowClass, kWindowTitle, kWindowStyle,
                               CW_USEDEFAULT, CW_USEDEFAULT, kSurfaceWidth, kSurfaceHeight, nullptr,
                               nullptr, instance, nullptr);
  if (mainWindow == nullptr) return 0;
  CreateStatusBar(mainWindow);
  ApplyScale(mainWindow, WindowDpi(mainWindow));
  ClearSurface();
  InitSurfaceFont();
  // A shortcut set to "Maximized" opens it at its own size.
  ShowWindow(mainWindow, showCommand == SW_SHOWMAXIMIZED ? SW_SHOWNORMAL : showCommand);
  UpdateWindow(mainWindow);

  if (replay) {
    BeginReplaySession(session);
    SetStatusLine(Widen(kPlaybackKeysHint));
  } else {
    MigrateOldSettings(DefaultSettingsFilePath(), OldSettingsFileCandidates(), CP_ACP);
    BeginPlaySession(true);
  }
  StartSession();
  shutdownDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);
  StartFrameTimer();
  const int code = MainLoop();
  // A request under way at the end gets a moment, then is left behind.
  WaitForHttpWorkers(2000);
  WriteFrameLog();
  if (timerPeriodRaised) timeEndPeriod(1);
  if (shutdownDone != nullptr) SetEvent(shutdownDone);
  return code;
}

}  // namespace tavro_win32

using tavro_win32::MainWindowHandle;

bool PlatformConfirm(ConfirmBox box) {
  if (tavro_win32::shutdownRequested) return false;
  const UINT icon = box == ConfirmBox::SendReplay ? MB_ICONQUESTION : MB_ICONWARNING;
  return MessageBoxW(MainWindowHandle(), tavro_win32::Widen(ConfirmText(box)).c_str(),
                     tavro_win32::Widen(kBoxCaption).c_str(),
                     MB_OKCANCEL | icon | MB_DEFBUTTON2 | MB_TASKMODAL) == IDOK;
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
  CopyTypedName(name.data(), name.size(), text, capacity);
  return true;
}

void PlatformSleep(int milliseconds) {
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
}

void PlatformSetTitle(const char* title) {
  if (HWND window = MainWindowHandle()) SetWindowTextW(window, tavro_win32::Widen(title).c_str());
}

void PlatformShowNotice(const char* text) {
  if (tavro_win32::shutdownRequested) return;
  MessageBoxW(MainWindowHandle(), tavro_win32::Widen(text).c_str(), L"TAVRO",
              MB_OK | MB_ICONWARNING | MB_TASKMODAL);
}
