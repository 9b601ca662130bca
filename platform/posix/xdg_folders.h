// The user's folders under the XDG base directory rules.
#pragma once

#include <string>

// $<variable>/tavro/<leaf>, or ~/<homeFallback>/tavro/<leaf> when the
// variable is unset or relative (which the rules call invalid); empty when
// neither names a folder.
std::string XdgTavroPath(const char* variable, const char* homeFallback, const char* leaf);
