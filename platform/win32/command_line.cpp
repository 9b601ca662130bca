#include "platform/win32/command_line.h"

namespace tavro_win32 {

std::wstring QuoteArgument(const std::wstring& argument) {
  // Backslashes are literal except before a quote, where each one is
  // doubled; the closing quote counts as such a quote.
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      backslashes++;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  quoted += L'"';
  return quoted;
}

std::wstring WatchCommandLine(const std::wstring& program, const std::wstring& path, int fromGame) {
  return QuoteArgument(program) + L" --replay " + QuoteArgument(path) + L" --from-game " +
         std::to_wstring(fromGame);
}

}  // namespace tavro_win32
