// Makes the surface's glyph table (surface/glyph_table.h) from GNU Unifont.
#pragma once

#include <string>
#include <vector>

// Renders every character of the font (and of the upper-plane font, for the
// characters the first lacks; an empty path for none) with FreeType at 16
// pixels, monochrome. Empty with a message in error on failure.
std::vector<unsigned char> MakeGlyphTable(const std::string& fontPath,
                                          const std::string& upperFontPath, std::string& error);
