#include "platform/win32/shared_ranking_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "app/session.h"
#include "host/network.h"
#include "online/shared_ranking.h"
#include "platform/win32/dialog_layout.h"
#include "platform/win32/host.h"
#include "platform/win32/text.h"
#include "res/win32/resource.h"

namespace tavro_win32 {
namespace {

HWND dialog = nullptr;
// The server field was typed in since the view last filled it.
bool serverTyped = false;
// The dialog is filling its controls: their notifications are not the player's.
bool filling = false;
// The list is to have the focus as soon as it shows (it has it at the
// opening; a state line in its place takes it away for a while).
bool listWantsFocus = false;
// The last table shown and the texts cut, for the frame log.
std::string shownLog;
int textsCut = -1;

HWND Item(int id) {
  return GetDlgItem(dialog, id);
}

void SetText(int id, const char* text) {
  SetWindowTextW(Item(id), Widen(text).c_str());
}

std::string ItemText(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(control, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return Narrow(text);
}

SharedPeriod ShownPeriod() {
  const LRESULT tab = SendMessageW(Item(IDC_SHARED_TABS), TCM_GETCURSEL, 0, 0);
  return tab >= 0 && tab < kSharedPeriodCount ? static_cast<SharedPeriod>(tab) : SharedPeriod::Week;
}

int SelectedRow() {
  return static_cast<int>(
      SendMessageW(Item(IDC_SHARED_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

const SharedRankingRow* SelectedEntry() {
  const SharedRankingTable& table = SharedRankingView().tables[static_cast<int>(ShownPeriod())];
  const int row = SelectedRow();
  if (row < 0 || row >= table.count || SharedTableStateText(table)[0] != '\0') return nullptr;
  return &table.rows[row];
}

void UpdateButtons() {
  const SharedRankingViewData& view = SharedRankingView();
  const SharedRankingRow* entry = SelectedEntry();
  EnableWindow(Item(IDC_SHARED_WATCH), entry != nullptr && !entry->replay.empty() &&
                                           !view.watching && view.settings.enabled);
  EnableWindow(Item(IDC_SHARED_REFRESH), view.settings.enabled && !view.server.empty());
}

void SetCell(HWND list, int row, int column, const std::string& text) {
  const std::wstring wide = Widen(text);
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(wide.c_str());
  if (column == 0) {
    item.mask = LVIF_TEXT;
    item.iItem = row;
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  } else {
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
}

std::string CellText(HWND list, int row, int column) {
  wchar_t text[128] = {};
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 128;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return Narrow(text);
}

// The shown period's rows, or its state line in their place.
void FillTable() {
  const SharedPeriod period = ShownPeriod();
  const SharedRankingTable& table = SharedRankingView().tables[static_cast<int>(period)];
  const char* state = SharedTableStateText(table);
  HWND list = Item(IDC_SHARED_LIST);
  const int selected = SelectedRow();
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  if (state[0] == '\0') {
    for (int i = 0; i < table.count; i++) {
      const SharedRankingRow& row = table.rows[i];
      SetCell(list, i, 0, std::to_string(row.place));
      SetCell(list, i, 1, row.name);
      SetCell(list, i, 2, std::to_string(row.score));
      SetCell(list, i, 3, std::to_string(row.level + 1));
    }
    // The row chosen before stays chosen; else the top one, for Enter.
    const int chosen = selected >= 0 && selected < table.count ? selected : 0;
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (table.count > 0) {
      SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(chosen),
                   reinterpret_cast<LPARAM>(&item));
    }
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  SetText(IDC_SHARED_STATE, state);
  const bool rows = state[0] == '\0';
  if (!rows && GetFocus() == list) {
    listWantsFocus = true;
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_SHARED_TABS)), TRUE);
  }
  ShowWindow(list, rows ? SW_SHOWNA : SW_HIDE);
  ShowWindow(Item(IDC_SHARED_STATE), rows ? SW_HIDE : SW_SHOWNA);
  if (rows && listWantsFocus && GetActiveWindow() == dialog) {
    listWantsFocus = false;
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
  }

  const int shown = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  shownLog = "shared_period " + std::to_string(static_cast<int>(period)) + "\nshared_state " +
             ItemText(Item(IDC_SHARED_STATE)) + "\nshared_rows " + std::to_string(shown) + "\n";
  for (int i = 0; i < shown; i++) {
    shownLog += "shared_row";
    for (int column = 0; column < 4; column++) shownLog += " " + CellText(list, i, column);
    shownLog += "\n";
  }
}

void Fill() {
  if (dialog == nullptr) return;
  const SharedRankingViewData& view = SharedRankingView();
  filling = true;
  CheckDlgButton(dialog, IDC_ONLINE_ENABLE, view.settings.enabled ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_ONLINE_AUTOSEND, view.settings.autoSend ? BST_CHECKED : BST_UNCHECKED);
  // The address being typed is left alone.
  if (!serverTyped) SetText(IDC_ONLINE_SERVER, view.server.c_str());
  SetText(IDC_SHARED_STATUS, view.status.c_str());
  FillTable();
  filling = false;
  UpdateButtons();
}

// The dialog's choices to the session, when they differ from the view's.
void ApplySettings() {
  OnlineSettings chosen;
  chosen.enabled = IsDlgButtonChecked(dialog, IDC_ONLINE_ENABLE) == BST_CHECKED;
  chosen.autoSend = IsDlgButtonChecked(dialog, IDC_ONLINE_AUTOSEND) == BST_CHECKED;
  chosen.server = ItemText(Item(IDC_ONLINE_SERVER));
  serverTyped = false;
  const SharedRankingViewData& view = SharedRankingView();
  const std::string server = NormalizeServerAddress(chosen.server);
  if (chosen.enabled != view.settings.enabled || chosen.autoSend != view.settings.autoSend ||
      (server != view.settings.server && server != view.server)) {
    SessionSetOnline(chosen);
  }
  Fill();
}

void Watch() {
  const SharedRankingRow* entry = SelectedEntry();
  if (entry == nullptr || entry->replay.empty()) return;
  SessionWatchSharedReplay(ShownPeriod(), SelectedRow());
  UpdateButtons();
}

// How many texts the controls do not show whole (a measuring aid).
int CountCutTexts() {
  RECT client;
  GetClientRect(dialog, &client);
  const int check = GetSystemMetrics(SM_CXMENUCHECK) + 4;
  int cut = 0;
  for (const int id : {IDC_ONLINE_ENABLE, IDC_ONLINE_DISCLOSURE, IDC_ONLINE_SERVER_LABEL,
                       IDC_ONLINE_AUTOSEND, IDC_SHARED_WATCH, IDC_SHARED_REFRESH}) {
    HWND control = Item(id);
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    const int width = r.right - r.left;
    const bool wraps = id == IDC_ONLINE_DISCLOSURE;
    const SIZE needed = MeasureControlText(control, wraps ? width : 0);
    const int room = id == IDC_ONLINE_ENABLE || id == IDC_ONLINE_AUTOSEND ? width - check
                     : id == IDC_SHARED_WATCH || id == IDC_SHARED_REFRESH ? width - 8
                                                                          : width;
    if (needed.cx > room || needed.cy > r.bottom - r.top || r.right > client.right ||
        r.bottom > client.bottom) {
      cut++;
    }
  }
  return cut;
}

// The texts, the columns and tabs, the list and the state line in the tabs'
// display area, the disclosure at its whole height.
void SetUp() {
  SetWindowTextW(dialog, Widen(kSharedRankingCaption).c_str());
  SetText(IDC_ONLINE_ENABLE, kOnlineEnableLabel);
  SetText(IDC_ONLINE_DISCLOSURE, kOnlineDisclosure);
  SetText(IDC_ONLINE_SERVER_LABEL, kOnlineServerLabel);
  SetText(IDC_ONLINE_AUTOSEND, kOnlineAutoSendLabel);
  SetText(IDC_SHARED_WATCH, kOnlineWatchLabel);
  SetText(IDC_SHARED_REFRESH, kOnlineRefreshLabel);
  FitWrappedText(dialog, Item(IDC_ONLINE_DISCLOSURE));

  HWND tabs = Item(IDC_SHARED_TABS);
  for (int i = 0; i < kSharedPeriodCount; i++) {
    const std::wstring title = Widen(kSharedPeriodTitles[i]);
    TCITEMW tab = {};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<wchar_t*>(title.c_str());
    SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab));
  }
  RECT area;
  GetWindowRect(tabs, &area);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
  SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  HWND list = Item(IDC_SHARED_LIST);
  SetWindowPos(list, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
               SWP_NOACTIVATE);
  SetWindowPos(Item(IDC_SHARED_STATE), HWND_TOP, area.left, area.top, area.right - area.left,
               area.bottom - area.top, SWP_NOACTIVATE);

  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES,
               LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  RECT inside;
  GetClientRect(list, &inside);
  const int width = inside.right - GetSystemMetrics(SM_CXVSCROLL);
  const int shares[4] = {14, 46, 22, 18};  // percent of the width
  for (int i = 0; i < 4; i++) {
    const std::wstring title = Widen(kSharedColumnTitles[i]);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = i >= 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = width * shares[i] / 100;
    column.pszText = const_cast<wchar_t*>(title.c_str());
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(&column));
  }
  textsCut = CountCutTexts();
}

// Beside the main window, on its right, when the screen has room there;
// else over its middle.
void Place(HWND owner) {
  RECT own;
  RECT main;
  GetWindowRect(dialog, &own);
  GetWindowRect(owner, &main);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT work = monitor.rcWork;
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  int x = main.right;
  int y = main.top;
  if (x + width > work.right) x = main.left + (main.right - main.left - width) / 2;
  x = std::max<int>(work.left, std::min<int>(x, work.right - width));
  y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Close() {
  if (serverTyped) ApplySettings();
  DestroyWindow(dialog);
}

INT_PTR OnNotify(const NMHDR* header) {
  if (header->idFrom == IDC_SHARED_TABS && header->code == TCN_SELCHANGE) {
    FillTable();
    UpdateButtons();
  } else if (header->idFrom == IDC_SHARED_LIST) {
    if (header->code == LVN_ITEMCHANGED && !filling) {
      UpdateButtons();
    } else if (header->code == LVN_ITEMACTIVATE) {
      Watch();
    }
  }
  return TRUE;
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      dialog = window;
      serverTyped = false;
      SetUp();
      Fill();
      Place(GetWindow(window, GW_OWNER));
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_ONLINE_ENABLE:
        case IDC_ONLINE_AUTOSEND:
          if (HIWORD(wParam) == BN_CLICKED && !filling) ApplySettings();
          break;
        case IDC_ONLINE_SERVER:
          if (HIWORD(wParam) == EN_CHANGE && !filling) serverTyped = true;
          if (HIWORD(wParam) == EN_KILLFOCUS && serverTyped) ApplySettings();
          break;
        case IDC_SHARED_WATCH:
          Watch();
          break;
        case IDC_SHARED_REFRESH:
          SessionRefreshSharedRanking();
          break;
        case IDOK:  // Enter: the address typed, or the chosen row's game
          if (GetFocus() == Item(IDC_SHARED_LIST)) {
            Watch();
          } else {
            ApplySettings();
          }
          break;
        case IDCANCEL:  // Escape, the close box
          Close();
          break;
        default:
          break;
      }
      return TRUE;
    case WM_NOTIFY:
      return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC:
      // The state line fills the list's place in the list's colours.
      if (reinterpret_cast<HWND>(lParam) == Item(IDC_SHARED_STATE)) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
      }
      return FALSE;
    case WM_CLOSE:
      Close();
      return TRUE;
    case WM_DESTROY:
      dialog = nullptr;
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool SharedRankingDialogMessage(MSG* msg) {
  return dialog != nullptr && IsDialogMessageW(dialog, msg);
}

std::string SharedRankingDialogLog() {
  if (textsCut < 0) return std::string();
  return shownLog + "shared_cut " + std::to_string(textsCut) + "\n";
}

}  // namespace tavro_win32

void PlatformShowSharedRanking() {
  using namespace tavro_win32;
  if (dialog != nullptr) {
    ShowWindow(dialog, SW_RESTORE);
    SetForegroundWindow(dialog);
    return;
  }
  if (CreateDialogParamW(InstanceHandle(), MAKEINTRESOURCEW(IDD_SHARED_RANKING), MainWindowHandle(),
                         DialogProc, 0) == nullptr) {
    return;
  }
  ShowWindow(dialog, SW_SHOW);
  // The rankings have the focus (Enter plays the chosen row's game), or
  // will have it once they show.
  HWND list = GetDlgItem(dialog, IDC_SHARED_LIST);
  listWantsFocus = !IsWindowVisible(list);
  SendMessageW(
      dialog, WM_NEXTDLGCTL,
      reinterpret_cast<WPARAM>(listWantsFocus ? GetDlgItem(dialog, IDC_SHARED_TABS) : list), TRUE);
}

void PlatformSharedRankingChanged() {
  tavro_win32::Fill();
}
