#include "shell/MinimumSize.h"

#include <algorithm>

namespace quorlan::shell {

WindowSize SnapToMinimumSize(WindowSize size) {
    return {std::max(size.width, kMinimumWindowSide), std::max(size.height, kMinimumWindowSide)};
}

} // namespace quorlan::shell
