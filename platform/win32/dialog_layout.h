// A dialog template's static texts were placed for one font; the system may
// draw them in a wider one (another face, another DPI). These give each text
// the room it measures, as the Linux program's dialogs do.
#pragma once

#include <windows.h>

#include <vector>

namespace tavro_win32 {

// The rectangle a static text control of rect and staticStyle needs for a
// text of size needed. It widens away from the side the text keeps (about
// its centre for SS_CENTER) and grows taller about its centre with
// SS_CENTERIMAGE, else downwards. Never smaller than rect.
RECT GrowToFit(const RECT& rect, SIZE needed, DWORD staticStyle);

// How far the dialog must widen on each side (and grow at the bottom) so
// that every control keeps margin pixels from its client area's edges.
SIZE DialogGrowthFor(const std::vector<RECT>& controls, SIZE client, int margin);

// Gives every static text of dialog its measured size and widens the dialog
// about its centre when a text would reach its edge; call it from
// WM_INITDIALOG before the dialog is placed.
void FitStaticTexts(HWND dialog);

// The control's text in its font: on one line when wrapWidth is 0, else
// broken into lines at wrapWidth pixels as a static text breaks it.
SIZE MeasureControlText(HWND control, int wrapWidth);

// Gives a control of text broken into lines the height its text needs at
// its width; the controls below it move down and the dialog grows by as
// much. Returns that growth in pixels (0: it fitted).
int FitWrappedText(HWND dialog, HWND control);

// The static texts of dialog whose text, measured in their font, is wider
// or taller than the control, or that reach past the dialog's client area.
int CountCutStaticTexts(HWND dialog);

}  // namespace tavro_win32
