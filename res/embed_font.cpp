// Places the glyph table (TAVRO_GLYPH_FILE) into the program's read-only
// data as it is, between the symbols tavro_glyph_table and
// tavro_glyph_table_end, with the assembler's .incbin: fast to build and the
// same on every target. TAVRO_GLYPH_SHA256 names the file's contents so that
// a compiler cache sees a changed table.
#define TAVRO_STRINGIFY2(x) #x
#define TAVRO_STRINGIFY(x) TAVRO_STRINGIFY2(x)
#define TAVRO_SYMBOL(name) TAVRO_STRINGIFY(__USER_LABEL_PREFIX__) #name

#if defined(_WIN32)
#define TAVRO_RODATA ".section .rdata,\"dr\"\n"
#define TAVRO_TABLE_SIZE ""
#elif defined(__wasm__)
// WebAssembly objects want a section of their own and a size on every data
// symbol; the end symbol follows the table in the same section.
#define TAVRO_RODATA ".section .rodata.tavro_glyph_table,\"\",@\n"
#define TAVRO_TABLE_SIZE                                         \
  ".size " TAVRO_SYMBOL(tavro_glyph_table) ", " TAVRO_STRINGIFY( \
      TAVRO_GLYPH_SIZE) "\n.size " TAVRO_SYMBOL(tavro_glyph_table_end) ", 0\n"
#else
#define TAVRO_RODATA ".section .rodata\n"
#define TAVRO_TABLE_SIZE ""
#endif

__asm__(TAVRO_RODATA
        "/* unifont glyphs, sha256 " TAVRO_GLYPH_SHA256 " */\n"
        ".balign 16\n"
        ".globl " TAVRO_SYMBOL(tavro_glyph_table) "\n"
        TAVRO_SYMBOL(tavro_glyph_table) ":\n"
        ".incbin \"" TAVRO_GLYPH_FILE "\"\n"
        ".globl " TAVRO_SYMBOL(tavro_glyph_table_end) "\n"
        TAVRO_SYMBOL(tavro_glyph_table_end) ":\n"
        TAVRO_TABLE_SIZE
        ".text\n");
