#pragma once
// The main window's first size and place on the screen, in the screen's device-independent pixels (what
// the desktop's scaling leaves: 1280 x 720 of a 1920 x 1080 screen at 150 %).
//
// The window is designed for a client area of 736 x 730 with the status bar below it. Where the screen's
// available area (less task bars and docks) cannot take that and the window's frame, the first size is cut
// to what it can take: the window then scrolls its controls, and the status bar, outside the scrolled
// part, stays in view. The window never starts larger than the available area, nor outside it.

namespace hlx::app {

struct WindowSize {
    int width = 0;
    int height = 0;
    bool operator==(const WindowSize&) const = default;
};

struct ScreenArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ScreenArea&) const = default;
};

inline constexpr WindowSize kDesignedClientSize{736, 730};

// The window's first inner size (client area and status bar): the designed client size with the status
// bar's height added, cut to the available area less the frame (title bar and borders: the frame's extra
// width and height). Never below 1 x 1.
WindowSize firstWindowSize(WindowSize designedClient, int statusBarHeight, ScreenArea available,
                           WindowSize frame);

// Where the frame's top-left corner goes: the window (inner size plus frame) centred in the available area,
// never left of or above it.
ScreenArea firstWindowPlace(WindowSize inner, ScreenArea available, WindowSize frame);

}  // namespace hlx::app
