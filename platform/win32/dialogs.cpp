#include "platform/win32/dialogs.h"

#include "app/session.h"
#include "app/window_proc.h"
#include "platform/win32/dialog_layout.h"
#include "platform/win32/host.h"
#include "platform/win32/text.h"
#include "records/name_width.h"
#include "res/win32/resource.h"

namespace tavro_win32 {
namespace {

// The name-entry dialog's state while it is open.
HWND nameEntryDialog = nullptr;
bool nameEntryClosed = false;
std::string nameEntryBuffer;
// The last text of the field that was not too wide, and its selection.
std::wstring acceptedName;
DWORD acceptedStart = 0;
DWORD acceptedEnd = 0;

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

// Close path of the name-entry dialog: the text is read after EndDialog,
// which only marks the dialog; WM_DESTROY runs it once more.
void CloseNameEntry(HWND dialog) {
  nameEntryClosed = true;
  nameEntryDialog = nullptr;
  EndDialog(dialog, IDOK);
  nameEntryBuffer = Narrow(WindowText(GetDlgItem(dialog, IDC_NAME_FIELD)));
}

// The field holds at most kNameMaxColumns columns: an edit that makes the
// name wider is taken back whole.
void KeepNameWithinWidth(HWND field) {
  const std::wstring text = WindowText(field);
  if (NameColumns(Narrow(text)) <= kNameMaxColumns) {
    acceptedName = text;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&acceptedStart),
                 reinterpret_cast<LPARAM>(&acceptedEnd));
    return;
  }
  SetWindowTextW(field, acceptedName.c_str());
  SendMessageW(field, EM_SETSEL, acceptedStart, acceptedEnd);
  MessageBeep(MB_OK);
}

BOOL CALLBACK CloseBox(HWND window, LPARAM) {
  wchar_t className[16];
  if (window == MainWindowHandle() || !IsWindowVisible(window) ||
      GetClassNameW(window, className, 16) == 0 || lstrcmpW(className, L"#32770") != 0) {
    return TRUE;
  }
  // The program's own dialogs close as OK; a message box as Cancel.
  const bool programDialog =
      GetDlgItem(window, IDC_NAME_FIELD) != nullptr ||
      GetWindowLongPtrW(window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(&AboutDialogProc);
  PostMessageW(window, programDialog ? WM_CLOSE : WM_COMMAND, programDialog ? 0 : IDCANCEL, 0);
  return TRUE;
}

}  // namespace

int CenterWindow(HWND window, HWND reference) {
  if (reference == nullptr) reference = GetWindow(window, GW_OWNER);
  if (reference == nullptr) return 0;
  RECT own;
  RECT ref;
  GetWindowRect(window, &own);
  GetWindowRect(reference, &ref);
  // Kept on the reference's monitor, in that monitor's coordinates.
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(MonitorFromWindow(reference, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    screen = monitor.rcMonitor;
  }
  const int ox = screen.left;
  const int oy = screen.top;
  const WindowRect placed =
      CenterRect({own.left - ox, own.top - oy, own.right - ox, own.bottom - oy},
                 {ref.left - ox, ref.top - oy, ref.right - ox, ref.bottom - oy},
                 screen.right - screen.left, screen.bottom - screen.top);
  SetWindowPos(window, nullptr, placed.left + ox, placed.top + oy, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return 1;
}

namespace {

// The about dialog's texts still cut after its layout, for the frame log;
// -1 until it is first shown.
int aboutTextsCut = -1;

}  // namespace

int AboutTextsCut() {
  return aboutTextsCut;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // The template was laid out for MS PGothic; other fonts need more room.
      FitStaticTexts(dialog);
      aboutTextsCut = CountCutStaticTexts(dialog);
      CenterWindow(dialog, nullptr);
      return TRUE;
    case WM_COMMAND:
      // Only OK (and Enter) end it; Escape's IDCANCEL is swallowed.
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, IDOK);
      return TRUE;
    case WM_CLOSE:
    case WM_DESTROY:
      EndDialog(dialog, IDOK);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK NameEntryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      nameEntryDialog = dialog;
      CenterWindow(dialog, nullptr);
      acceptedName.clear();
      acceptedStart = acceptedEnd = 0;
      SetFocus(GetDlgItem(dialog, IDC_NAME_FIELD));
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        CloseNameEntry(dialog);
      } else if (LOWORD(wParam) == IDC_NAME_FIELD) {
        if (HIWORD(wParam) == EN_ERRSPACE) {
          MessageBoxW(dialog, L"メモリ不足です", L"TAVRO", MB_ICONERROR);
        } else if (HIWORD(wParam) == EN_CHANGE) {
          KeepNameWithinWidth(reinterpret_cast<HWND>(lParam));
        }
      }
      return TRUE;
    case WM_CLOSE:
    case WM_DESTROY:
      CloseNameEntry(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

bool RunNameEntryDialog(HWND owner, std::string* name) {
  nameEntryClosed = false;
  nameEntryBuffer.clear();
  DialogBoxParamW(InstanceHandle(), MAKEINTRESOURCEW(IDD_NAME_ENTRY), owner, NameEntryDialogProc,
                  0);
  if (!nameEntryClosed) return false;
  *name = nameEntryBuffer;
  return true;
}

void CloseOpenBoxes() {
  EnumThreadWindows(GetCurrentThreadId(), CloseBox, 0);
}

void KeepNameBeingTyped() {
  if (nameEntryDialog == nullptr) return;
  const std::string typed = Narrow(WindowText(GetDlgItem(nameEntryDialog, IDC_NAME_FIELD)));
  SessionKeepTypedName(typed.data(), typed.size());
}

}  // namespace tavro_win32
