#include "platform/win32/replay_player.h"

#include <windows.h>

#include <string>

#include "platform/win32/host.h"

namespace tavro_win32 {
namespace {

void SetTitle(const wchar_t* state) {
  if (HWND window = MainWindowHandle()) {
    const std::wstring title = std::wstring(kWindowTitle) + L" - " + state;
    SetWindowTextW(window, title.c_str());
  }
}

void Follow(PlaybackState state) {
  switch (state) {
    case PlaybackState::Playing:
      SetTitle(L"replay");
      break;
    case PlaybackState::Jumping:
      SetTitle(L"replay (jumping)");
      break;
    case PlaybackState::Ended:
      SetTitle(L"replay ended");
      break;
  }
}

}  // namespace

void ShowPlaybackInWindow() {
  SetPlaybackStateListener(Follow);
}

}  // namespace tavro_win32
