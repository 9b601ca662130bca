// The rules every store keeps, checked on an empty store of either kind.
#pragma once

#include "board/store.h"

namespace board_test {

// Equal scores rank in the order they were accepted; a game counted once
// is "already counted" in any other file, and a file left without a game
// is not kept; a file kept keeps its first answer; limits and periods.
void ExpectStoreRules(Store& store);

}  // namespace board_test
