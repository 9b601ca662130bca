// Text on the surface: GNU Unifont rendered by FreeType without antialiasing,
// glyphs kept in fixed caches so that drawing text in a frame neither calls
// FreeType nor allocates (after a character's first use).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "surface/surface.h"
#include "surface/surface_internal.h"

namespace {

constexpr int kPixelSize = 16;
constexpr int kMaxGlyphColumns = 32;  // columns kept per glyph, from its left
constexpr char32_t kReplacement = 0xFFFD;

// One rendered glyph: its advance and its pixels, as one bit mask per row of
// the 16-row text cell (bit k is the column left + k from the pen position).
struct Glyph {
  std::int64_t codepoint = -1;  // -1: empty cache slot
  int advance = 0;
  int left = 0;
  std::uint32_t rows[kSurfaceLineHeight] = {};
};

constexpr int kCacheSlots = 1024;  // for characters outside ASCII
constexpr int kCacheProbes = 8;

struct FontState {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  FT_Face upperFace = nullptr;  // characters beyond the Basic Multilingual Plane
  int ascent = 14;
  bool loaded = false;
  bool attempted = false;
  Glyph ascii[128];
  Glyph cache[kCacheSlots];
};

FontState gFont;

const char* const kFontCandidates[] = {
#ifdef TAVRO_FONT_PATH
    TAVRO_FONT_PATH,
#endif
    "/usr/share/fonts/opentype/unifont/unifont.otf",
    "/usr/share/fonts/truetype/unifont/unifont.ttf",
};

bool FileExists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

// "dir/unifont.otf" -> "dir/unifont_upper.otf".
std::string UpperFontPath(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(0, dot) + "_upper" + path.substr(dot);
}

FT_Face OpenFace(const std::string& path) {
  FT_Face face = nullptr;
  if (FT_New_Face(gFont.library, path.c_str(), 0, &face) != 0) return nullptr;
  if (FT_Set_Pixel_Sizes(face, 0, kPixelSize) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  return face;
}

// Renders the character into glyph; a character the fonts lack is drawn as
// U+FFFD. Returns false only when nothing could be rendered.
bool RenderGlyph(char32_t codepoint, Glyph& glyph) {
  FT_Face face = gFont.face;
  FT_UInt index = FT_Get_Char_Index(face, codepoint);
  if (index == 0 && gFont.upperFace != nullptr) {
    index = FT_Get_Char_Index(gFont.upperFace, codepoint);
    if (index != 0) face = gFont.upperFace;
  }
  if (index == 0) {
    face = gFont.face;
    index = FT_Get_Char_Index(face, kReplacement);
  }
  if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return false;

  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph = Glyph{};
  glyph.codepoint = codepoint;
  glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  glyph.left = slot->bitmap_left;
  const int top = gFont.ascent - slot->bitmap_top;  // cell row of the bitmap's first row
  const int columns = std::min<int>(static_cast<int>(bitmap.width), kMaxGlyphColumns);
  for (unsigned int r = 0; r < bitmap.rows; ++r) {
    const int cellRow = top + static_cast<int>(r);
    if (cellRow < 0 || cellRow >= kSurfaceLineHeight) continue;
    const unsigned char* line = bitmap.buffer + static_cast<std::ptrdiff_t>(r) * bitmap.pitch;
    std::uint32_t mask = 0;
    for (int c = 0; c < columns; ++c) {
      bool on = false;
      if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        on = (line[c >> 3] & (0x80 >> (c & 7))) != 0;
      } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        on = line[c] >= 128;
      }
      if (on) mask |= 1u << c;
    }
    glyph.rows[cellRow] = mask;
  }
  return true;
}

void UnloadFont() {
  if (gFont.upperFace != nullptr) FT_Done_Face(gFont.upperFace);
  if (gFont.face != nullptr) FT_Done_Face(gFont.face);
  if (gFont.library != nullptr) FT_Done_FreeType(gFont.library);
  gFont.upperFace = nullptr;
  gFont.face = nullptr;
  gFont.library = nullptr;
}

bool LoadFont() {
  gFont.attempted = true;
  if (gFont.loaded) return true;
  if (FT_Init_FreeType(&gFont.library) != 0) {
    gFont.library = nullptr;
    return false;
  }
  for (const char* candidate : kFontCandidates) {
    if (!FileExists(candidate)) continue;
    gFont.face = OpenFace(candidate);
    if (gFont.face == nullptr) continue;
    const std::string upper = UpperFontPath(candidate);
    if (!upper.empty() && FileExists(upper)) gFont.upperFace = OpenFace(upper);
    break;
  }
  if (gFont.face == nullptr) {
    UnloadFont();
    return false;
  }
  gFont.ascent = static_cast<int>((gFont.face->size->metrics.ascender + 32) >> 6);

  for (char32_t c = 0; c < 128; ++c) {
    if (!RenderGlyph(c, gFont.ascii[c])) gFont.ascii[c] = Glyph{};
  }
  for (Glyph& slot : gFont.cache) slot.codepoint = -1;
  gFont.loaded = true;
  return true;
}

// The font, loaded on first need when InitSurfaceFont was not called; a
// failed attempt is not repeated here.
bool FontReady() {
  if (gFont.loaded) return true;
  if (gFont.attempted) return false;
  return LoadFont();
}

// The glyph of a character, rendered on first use; null without a font.
const Glyph* FindGlyph(char32_t codepoint) {
  if (!FontReady()) return nullptr;
  if (codepoint < 128) return &gFont.ascii[codepoint];
  const unsigned hash = (static_cast<unsigned>(codepoint) * 2654435761u) >> 22;  // 10 bits
  Glyph* target = nullptr;
  for (int probe = 0; probe < kCacheProbes; ++probe) {
    Glyph& slot = gFont.cache[(hash + probe) % kCacheSlots];
    if (slot.codepoint == static_cast<std::int64_t>(codepoint)) return &slot;
    if (slot.codepoint < 0) {
      target = &slot;
      break;
    }
  }
  if (target == nullptr) target = &gFont.cache[hash % kCacheSlots];  // full: replace
  if (!RenderGlyph(codepoint, *target)) {
    *target = Glyph{};
    return nullptr;
  }
  return target;
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
  for (std::size_t pos = 0; pos < length;) {
    const Glyph* glyph = FindGlyph(DecodeUtf8(bytes, length, pos));
    if (glyph != nullptr) width += glyph->advance;
  }
  return width;
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
  for (std::size_t pos = 0; pos < size && penX < kSurfaceWidth + kMaxGlyphColumns;) {
    const Glyph* glyph = FindGlyph(DecodeUtf8(bytes, size, pos));
    if (glyph == nullptr) continue;
    const std::int64_t glyphX = penX + glyph->left;
    if (glyphX + kMaxGlyphColumns > 0) {
      for (int r = 0; r < kSurfaceLineHeight; ++r) {
        for (std::uint32_t bits = glyph->rows[r]; bits != 0; bits &= bits - 1) {
          surface_internal::PutPixel(glyphX + __builtin_ctz(bits), y + r, dc.textColor);
        }
      }
    }
    penX += glyph->advance;
  }
}

}  // namespace

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
