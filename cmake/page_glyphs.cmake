# The part of the glyph table the page carries in its code: what the
# program's own texts use (ASCII), Latin-1, the kana and their punctuation,
# the full-width forms and U+FFFD. A name needing more makes the page fetch
# the whole table.
set(TAVRO_PAGE_GLYPH_RANGES 20-7E A0-FF 3000-30FF FF00-FFEF FFFD)

# Makes `output` from the whole table with tools/glyphsubset.
function(tavro_page_glyphs output)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(whole ${PROJECT_SOURCE_DIR}/res/font/unifont-16.glyphs)
  set(tool ${PROJECT_SOURCE_DIR}/tools/glyphsubset/glyph_subset.py)
  add_custom_command(
    OUTPUT ${output}
    COMMAND Python3::Interpreter ${tool} ${whole} ${output} ${TAVRO_PAGE_GLYPH_RANGES}
    DEPENDS ${whole} ${tool}
    COMMENT "Taking the page's part of the glyph table"
    VERBATIM)
endfunction()
