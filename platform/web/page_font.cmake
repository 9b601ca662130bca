# Writes OUTPUT, the source that builds the page's part of the glyph table
# (GLYPHS) into the program through res/embed_font.cpp, with the part's size
# and hash: a changed part changes the source, also for a compiler cache.
#   cmake -DGLYPHS=page.glyphs -DOUTPUT=page_font.cpp -P page_font.cmake
file(SHA256 ${GLYPHS} sha256)
file(SIZE ${GLYPHS} size)
file(WRITE ${OUTPUT}
  "// Made by platform/web/page_font.cmake: the page's part of the glyph table.\n"
  "#define TAVRO_GLYPH_FILE \"${GLYPHS}\"\n"
  "#define TAVRO_GLYPH_SHA256 \"${sha256}\"\n"
  "#define TAVRO_GLYPH_SIZE ${size}\n"
  "#include \"res/embed_font.cpp\"\n")
