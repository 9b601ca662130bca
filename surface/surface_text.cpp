// Text on the surface: GNU Unifont glyphs from the table built into the
// program (glyph_table.h), drawn without antialiasing. The ASCII glyphs are
// unpacked once; any other character is looked up in the table when drawn,
// so drawing text neither allocates nor depends on a font library.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "surface/glyph_table.h"
#include "surface/surface.h"
#include "surface/surface_internal.h"

namespace {

using glyph_table::Glyph;
using glyph_table::kMaxColumns;

constexpr char32_t kReplacement = 0xFFFD;

struct FontState {
  bool loaded = false;
  bool attempted = false;
  std::span<const unsigned char> table;  // empty: the embedded one
  bool missing = false;                  // a character the table lacks was drawn or measured
  Glyph ascii[128];
  Glyph replacement;  // drawn for every character the font lacks
  bool part = false;  // SetSurfaceFontPart: the lacking ones are left blank
  Glyph blank;        // the replacement's width, no pixels
};

FontState gFont;

bool LoadFont() {
  gFont.attempted = true;
  if (gFont.loaded) return true;
  if (gFont.table.empty()) gFont.table = EmbeddedGlyphTable();
  const std::span<const unsigned char> table = gFont.table;
  if (!glyph_table::Find(table, kReplacement, gFont.replacement)) return false;
  gFont.blank.advance = gFont.replacement.advance;
  for (char32_t c = 0; c < 128; ++c) {
    if (!glyph_table::Find(table, c, gFont.ascii[c])) gFont.ascii[c] = gFont.replacement;
  }
  gFont.loaded = true;
  return true;
}

// The font, made ready on first need when InitSurfaceFont was not called; a
// failed attempt is not repeated here.
bool FontReady() {
  if (gFont.loaded) return true;
  if (gFont.attempted) return false;
  return LoadFont();
}

// The glyph of a character, unpacked into scratch unless it is ASCII; null
// without a font.
const Glyph* FindGlyph(char32_t codepoint, Glyph& scratch) {
  if (!FontReady()) return nullptr;
  if (codepoint < 128) return &gFont.ascii[codepoint];
  if (glyph_table::Find(gFont.table, codepoint, scratch)) return &scratch;
  gFont.missing = true;
  return gFont.part ? &gFont.blank : &gFont.replacement;
}

// Decodes one UTF-8 character from text[pos..length) and advances pos. A
// malformed sequence yields U+FFFD and consumes its longest valid prefix (at
// least one byte); nothing past length is read.
char32_t DecodeUtf8(const unsigned char* text, std::size_t length, std::size_t& pos) {
  const unsigned char lead = text[pos++];
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t value = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return kReplacement;
  }
  for (int i = 0; i < extra; ++i) {
    if (pos >= length) return kReplacement;
    const unsigned char byte = text[pos];
    if (byte < low || byte > high) return kReplacement;
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (byte & 0x3F);
    ++pos;
  }
  return value;
}

std::size_t TextLength(const char* text, int length) {
  if (text == nullptr) return 0;
  if (length < 0) return std::strlen(text);
  return static_cast<std::size_t>(length);
}

std::int64_t TextWidth(const char* text, std::size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::int64_t width = 0;
  Glyph scratch;
  for (std::size_t pos = 0; pos < length;) {
    const Glyph* glyph = FindGlyph(DecodeUtf8(bytes, length, pos), scratch);
    if (glyph != nullptr) width += glyph->advance;
  }
  return width;
}

// Sets the glyph's pixels with its left column at x and top row at y; the
// pixels beyond the surface are left out.
void DrawGlyph(const Glyph& glyph, std::int64_t x, std::int64_t y, Color color) {
  if (x <= -kMaxColumns || x >= kSurfaceWidth) return;
  const int firstRow = static_cast<int>(std::max<std::int64_t>(0, -y));
  const int lastRow =
      static_cast<int>(std::min<std::int64_t>(kSurfaceLineHeight, kSurfaceHeight - y)) - 1;
  // columns left and right of the surface dropped from every row's bits
  std::uint32_t onSurface = ~0u;
  if (x < 0) onSurface &= ~0u << -x;
  if (x + kMaxColumns > kSurfaceWidth) onSurface &= ~0u >> (x + kMaxColumns - kSurfaceWidth);
  for (int r = firstRow; r <= lastRow; ++r) {
    for (std::uint32_t bits = glyph.rows[r] & onSurface; bits != 0; bits &= bits - 1) {
      surface_internal::SetPixelMarked(x + __builtin_ctz(bits), y + r, color);
    }
  }
}

void DrawTextLine(const DeviceContext& dc, std::int64_t x, std::int64_t y, const char* text,
                  int length) {
  const std::size_t size = TextLength(text, length);
  if (size == 0 || !FontReady()) return;
  if (dc.bkMode == BkMode::Opaque) {
    const std::int64_t width = TextWidth(text, size);
    if (width > 0) {
      surface_internal::FillRect(x, y, x + width - 1, y + kSurfaceLineHeight - 1, dc.bkColor);
    }
  }
  // Rows and columns of the glyphs that can reach the surface at all.
  if (y <= -kSurfaceLineHeight || y >= kSurfaceHeight) return;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::int64_t penX = x;
  Glyph scratch;
  for (std::size_t pos = 0; pos < size && penX < kSurfaceWidth + kMaxColumns;) {
    const Glyph* glyph = FindGlyph(DecodeUtf8(bytes, size, pos), scratch);
    if (glyph == nullptr) continue;
    const std::int64_t glyphX = penX + glyph->left;
    DrawGlyph(*glyph, glyphX, y, dc.textColor & 0xFFFFFF);
    penX += glyph->advance;
  }
}

}  // namespace

bool SurfaceTakeMissingGlyph() {
  return std::exchange(gFont.missing, false);
}

bool SetSurfaceGlyphTable(const unsigned char* data, std::size_t size) {
  const std::span<const unsigned char> table(data, size);
  Glyph probe;
  if (data == nullptr || !glyph_table::Find(table, kReplacement, probe)) return false;
  gFont = FontState();
  gFont.table = table;
  return LoadFont();
}

void SetSurfaceFontPart(bool waitingForWhole) {
  gFont.part = waitingForWhole;
}

bool InitSurfaceFont() {
  return LoadFont();
}

int SurfaceTextWidth(const char* text, int length) {
  const std::int64_t width = TextWidth(text, TextLength(text, length));
  return static_cast<int>(std::min<std::int64_t>(width, INT_MAX));
}

void DcTextOut(DeviceContext& dc, int x, int y, const char* text, int length) {
  DrawTextLine(dc, x, y, text, length);
}

void DcDrawTextCentered(DeviceContext& dc, const char* text, int length) {
  const std::int64_t width = SurfaceTextWidth(text, length);
  DrawTextLine(dc, (kSurfaceWidth - width) / 2, 0, text, length);
}
