// The playfield: a persistent 512 x 512 RGB framebuffer drawn through a
// device-context-like interface with GDI's pixel rules. There is no back
// buffer; erasing is drawing in black.
#pragma once

#include <cstddef>
#include <cstdint>

using Color = std::uint32_t;  // 0xRRGGBB

constexpr int kSurfaceWidth = 512;
constexpr int kSurfaceHeight = 512;

enum class StockPen { Black, White };
enum class BkMode { Transparent = 1, Opaque = 2 };

// Drawing state of one device context. A fresh context has the system
// defaults: black one-pixel pen, white brush, black text on a white opaque
// background, current position (0, 0).
struct DeviceContext {
  StockPen pen = StockPen::Black;
  Color brush = 0xFFFFFF;
  Color textColor = 0x000000;
  Color bkColor = 0xFFFFFF;
  BkMode bkMode = BkMode::Opaque;
  int currentX = 0;
  int currentY = 0;
};

// A context on the window's client area, with the defaults above.
DeviceContext GetWindowDc();
void ReleaseWindowDc(DeviceContext& dc);

// Select/set calls return the previous value so the caller can put it back.
StockPen DcSelectPen(DeviceContext& dc, StockPen pen);
Color DcSelectBrush(DeviceContext& dc, Color brushColor);
Color DcSetTextColor(DeviceContext& dc, Color color);
Color DcSetBkColor(DeviceContext& dc, Color color);
BkMode DcSetBkMode(DeviceContext& dc, BkMode mode);

void DcSetPixel(DeviceContext& dc, int x, int y, Color color);
void DcMoveTo(DeviceContext& dc, int x, int y);
// Draws from the current position to (x, y) without the end point, then
// makes (x, y) the current position.
void DcLineTo(DeviceContext& dc, int x, int y);
// Filled ellipse in the box (left, top)-(right, bottom): covers columns
// left..right-1 and rows top..bottom-1, brush inside, rimmed by the pen.
void DcEllipse(DeviceContext& dc, int left, int top, int right, int bottom);
// UTF-8 text with its top-left corner at (x, y); a negative length means the
// text ends at its zero byte. Malformed UTF-8 is drawn as U+FFFD. An opaque
// background fills the text's cells (its advance width by the line height).
void DcTextOut(DeviceContext& dc, int x, int y, const char* text, int length);
// One line of UTF-8 text centred horizontally at the top of the client area.
void DcDrawTextCentered(DeviceContext& dc, const char* text, int length);

// Width in pixels of UTF-8 text in the surface's font.
int SurfaceTextWidth(const char* text, int length);
constexpr int kSurfaceLineHeight = 16;

// Readies the font, GNU Unifont at 16 pixels built into the program as a
// glyph table, and unpacks its ASCII glyphs. Always true in practice (false
// would mean a damaged table, and text calls would then draw nothing and
// measure 0); text calls do this by themselves when it was not called.
bool InitSurfaceFont();
// A program may carry only part of the font (the page: what its own texts
// use, and the kana) and fetch the whole table when a text needs more: true
// once a text drawn or measured since the last call had a character the
// font's table lacks (drawn as U+FFFD).
bool SurfaceTakeMissingGlyph();
// Puts another table in the place of the built-in one (its memory kept by
// the caller for the program's life); false, the font unchanged, when it is
// not a glyph table with U+FFFD.
bool SetSurfaceGlyphTable(const unsigned char* data, std::size_t size);
// While a program carrying part of the font waits for the whole table, a
// character the part lacks is left blank (with U+FFFD's width) instead of
// drawn as U+FFFD: text drawn without a background does not erase, so a box
// would stay under the glyph drawn once the table has come. Putting a table
// in place ends it; a program whose fetch failed ends it to show the boxes.
void SetSurfaceFontPart(bool waitingForWhole);

// The pixels, row by row, each 0xRRGGBB.
const std::uint32_t* SurfacePixels();
// All pixels black (the window's class background).
void ClearSurface();
// Writes the surface as an RGB PNG; false on failure.
bool WriteSurfacePng(const char* path);
