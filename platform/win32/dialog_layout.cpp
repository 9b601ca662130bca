#include "platform/win32/dialog_layout.h"

#include <algorithm>
#include <string>

namespace tavro_win32 {
namespace {

// Space kept between a control and the dialog's edge, in dialog units.
constexpr int kMarginDialogUnits = 4;

bool IsStatic(HWND control) {
  wchar_t className[16];
  return GetClassNameW(control, className, 16) != 0 && lstrcmpiW(className, L"Static") == 0;
}

// A static control that shows its text (not an icon, a frame or a line).
bool IsTextStatic(HWND control) {
  if (!IsStatic(control)) return false;
  switch (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) {
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP:
      return true;
    default:
      return false;
  }
}

bool IsEtchedLine(HWND control) {
  return IsStatic(control) && (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ETCHEDHORZ;
}

SIZE MeasureText(HWND control) {
  return MeasureControlText(control, 0);
}

// The control's rectangle in its dialog's client coordinates.
RECT ChildRect(HWND dialog, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::vector<HWND> Children(HWND dialog) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    children.push_back(c);
  }
  return children;
}

void Place(HWND control, const RECT& r) {
  SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

SIZE MeasureControlText(HWND control, int wrapWidth) {
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) return {0, 0};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(control, text.data(), length + 1);
  HDC dc = GetDC(control);
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  RECT r = {0, 0, wrapWidth, 0};
  UINT format = DT_CALCRECT | (wrapWidth > 0 ? DT_WORDBREAK | DT_EDITCONTROL : DT_SINGLELINE);
  if ((GetWindowLongW(control, GWL_STYLE) & SS_NOPREFIX) != 0) format |= DT_NOPREFIX;
  DrawTextW(dc, text.c_str(), got, &r, format);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(control, dc);
  return {r.right - r.left, r.bottom - r.top};
}

int FitWrappedText(HWND dialog, HWND control) {
  const RECT r = ChildRect(dialog, control);
  const int growth = MeasureControlText(control, r.right - r.left).cy - (r.bottom - r.top);
  if (growth <= 0) return 0;
  for (HWND c : Children(dialog)) {
    RECT other = ChildRect(dialog, c);
    if (c == control) {
      other.bottom += growth;
    } else if (other.top >= r.bottom) {
      OffsetRect(&other, 0, growth);
    } else {
      continue;
    }
    Place(c, other);
  }
  RECT outer;
  GetWindowRect(dialog, &outer);
  SetWindowPos(dialog, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top + growth,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return growth;
}

RECT GrowToFit(const RECT& rect, SIZE needed, DWORD staticStyle) {
  RECT r = rect;
  const LONG width = rect.right - rect.left;
  if (needed.cx > width) {
    switch (staticStyle & SS_TYPEMASK) {
      case SS_CENTER:
        r.left = rect.left - (needed.cx - width + 1) / 2;
        break;
      case SS_RIGHT:
        r.left = rect.right - needed.cx;
        break;
      default:
        break;
    }
    r.right = r.left + needed.cx;
  }
  const LONG height = rect.bottom - rect.top;
  if (needed.cy > height) {
    if ((staticStyle & SS_CENTERIMAGE) != 0) r.top = rect.top - (needed.cy - height + 1) / 2;
    r.bottom = r.top + needed.cy;
  }
  return r;
}

SIZE DialogGrowthFor(const std::vector<RECT>& controls, SIZE client, int margin) {
  SIZE growth = {0, 0};
  for (const RECT& r : controls) {
    growth.cx = std::max({growth.cx, margin - r.left, r.right - (client.cx - margin)});
    growth.cy = std::max(growth.cy, r.bottom - (client.cy - margin));
  }
  return growth;
}

void FitStaticTexts(HWND dialog) {
  const std::vector<HWND> children = Children(dialog);
  std::vector<RECT> placed;
  for (HWND c : children) {
    RECT r = ChildRect(dialog, c);
    if (IsTextStatic(c)) {
      const RECT fitted = GrowToFit(r, MeasureText(c), GetWindowLongW(c, GWL_STYLE));
      if (!EqualRect(&fitted, &r)) Place(c, fitted);
      r = fitted;
    }
    placed.push_back(r);
  }
  RECT margin = {kMarginDialogUnits, 0, 0, 0};
  MapDialogRect(dialog, &margin);
  RECT client;
  GetClientRect(dialog, &client);
  const SIZE growth = DialogGrowthFor(placed, {client.right, client.bottom}, margin.left);
  if (growth.cx == 0 && growth.cy == 0) return;
  // Everything moves right by the growth, so the layout stays centred; a
  // line across the dialog stretches with it.
  for (std::size_t i = 0; i < children.size(); i++) {
    RECT r = placed[i];
    if (IsEtchedLine(children[i])) {
      r.right += 2 * growth.cx;
    } else {
      OffsetRect(&r, growth.cx, 0);
    }
    Place(children[i], r);
  }
  RECT outer;
  GetWindowRect(dialog, &outer);
  SetWindowPos(dialog, nullptr, 0, 0, outer.right - outer.left + 2 * growth.cx,
               outer.bottom - outer.top + growth.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CountCutStaticTexts(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  int cut = 0;
  for (HWND c : Children(dialog)) {
    if (!IsTextStatic(c)) continue;
    const RECT r = ChildRect(dialog, c);
    const SIZE needed = MeasureText(c);
    if (needed.cx > r.right - r.left || needed.cy > r.bottom - r.top || r.left < 0 || r.top < 0 ||
        r.right > client.right || r.bottom > client.bottom) {
      cut++;
    }
  }
  return cut;
}

}  // namespace tavro_win32
