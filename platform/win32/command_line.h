// Command lines for the program's second copy, quoted as the system reads
// them back (CommandLineToArgvW).
#pragma once

#include <string>

namespace tavro_win32 {

// One argument in quotes, with its quotes and the backslashes before them
// escaped.
std::wstring QuoteArgument(const std::wstring& argument);

// `program --replay path --from-game N`, each part quoted.
std::wstring WatchCommandLine(const std::wstring& program, const std::wstring& path, int fromGame);

}  // namespace tavro_win32
