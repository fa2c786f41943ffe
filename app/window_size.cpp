#include "app/window_size.h"

#include <algorithm>

namespace hlx::app {

WindowSize firstWindowSize(WindowSize designedClient, int statusBarHeight, ScreenArea available,
                           WindowSize frame) {
    const int width = std::min(designedClient.width, available.width - frame.width);
    const int height = std::min(designedClient.height + statusBarHeight, available.height - frame.height);
    return {std::max(1, width), std::max(1, height)};
}

ScreenArea firstWindowPlace(WindowSize inner, ScreenArea available, WindowSize frame) {
    const int width = inner.width + frame.width;
    const int height = inner.height + frame.height;
    return {available.x + std::max(0, (available.width - width) / 2),
            available.y + std::max(0, (available.height - height) / 2), width, height};
}

}  // namespace hlx::app
