# Cross build of the Windows programs with Debian's MinGW-w64 (64-bit, POSIX
# thread model for std::thread). The compiler's runtime (libgcc, libstdc++,
# winpthread) is linked in statically, so the executables need only the
# system's DLLs; ctest runs them under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVRO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVRO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVRO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVRO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(TAVRO_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRO_WINE})
