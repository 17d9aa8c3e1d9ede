#pragma once

namespace quorlan::shell {

// FormResize: the main window is never smaller than 310 by 310; only the
// dimension that was too small changes.
struct WindowSize {
    int width = 0;
    int height = 0;
    bool operator==(const WindowSize&) const = default;
};

inline constexpr int kMinimumWindowSide = 310;

WindowSize SnapToMinimumSize(WindowSize size);

} // namespace quorlan::shell
