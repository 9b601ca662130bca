#include "platform/win32/status_bar.h"

#include <commctrl.h>

#include "platform/win32/host.h"
#include "platform/win32/text.h"

namespace tavro_win32 {
namespace {

HWND bar = nullptr;
std::wstring line;
bool hinting = false;
std::string kept;

void Show(const std::wstring& text) {
  if (bar != nullptr) SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// The status tip of command id: its string up to the line feed.
std::wstring CommandHint(UINT id) {
  wchar_t text[256] = {};
  if (LoadStringW(InstanceHandle(), id, text, 256) <= 0) return std::wstring();
  std::wstring hint(text);
  const std::size_t feed = hint.find(L'\n');
  return feed == std::wstring::npos ? hint : hint.substr(0, feed);
}

}  // namespace

void CreateStatusBar(HWND parent) {
  bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                        nullptr, InstanceHandle(), nullptr);
  ResizeStatusBar();
}

int StatusBarHeight() {
  if (bar == nullptr) return 0;
  RECT r;
  GetWindowRect(bar, &r);
  return r.bottom - r.top;
}

void ResizeStatusBar() {
  // The bar places and sizes itself along its parent's bottom edge.
  if (bar != nullptr) SendMessageW(bar, WM_SIZE, 0, 0);
}

void SetStatusLine(const std::wstring& text) {
  line = text;
  if (!hinting) Show(line);
}

void ShowMenuHint(WPARAM wParam, LPARAM lParam) {
  const UINT flags = HIWORD(wParam);
  if (flags == 0xFFFF && lParam == 0) {  // the menu closed
    EndMenuHint();
    return;
  }
  hinting = true;
  Show((flags & (MF_POPUP | MF_SEPARATOR | MF_SYSMENU)) != 0 ? std::wstring()
                                                             : CommandHint(LOWORD(wParam)));
}

void EndMenuHint() {
  hinting = false;
  Show(line);
}

std::string StatusText() {
  if (bar == nullptr) return kept;
  const LRESULT length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0));
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return Narrow(text);
}

void KeepStatusText() {
  kept = StatusText();
  bar = nullptr;
}

}  // namespace tavro_win32
