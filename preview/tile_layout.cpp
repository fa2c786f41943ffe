#include "preview/tile_layout.h"

#include <algorithm>

namespace hlx::preview {
namespace {

constexpr int kMargin = 20;
constexpr int kBigSize = 160;
constexpr int kBigPitch = 180;
constexpr int kSmallSize = 70;
constexpr int kSmallPitch = 90;
constexpr int kChoicesPerRow = 10;

}  // namespace

int bigTileCount(int entries) {
    if (entries <= 5) return 5;
    return std::max(0, 4 - (entries - 5) / 4);
}

Rect bigTileRect(int index) {
    return {kMargin + kBigPitch * index, kMargin, kBigSize, kBigSize};
}

Rect smallTileRect(int bigTiles, int k) {
    return {kMargin + kBigPitch * bigTiles + kSmallPitch * (k % 2) + kBigPitch * (k / 4),
            kMargin + kSmallPitch * ((k / 2) % 2), kSmallSize, kSmallSize};
}

Rect choiceTileRect(int index) {
    return {kMargin + kSmallPitch * (index % kChoicesPerRow),
            kMargin + kSmallPitch * (index / kChoicesPerRow), kSmallSize, kSmallSize};
}

Rect transitionFrame(const Rect& tile, int panelWidth, int panelHeight, int step,
                     TransitionDirection direction) {
    const bool entering = direction == TransitionDirection::Enter;
    const double t = entering ? kTransitionFrames - step : step - 1;
    const double f = entering ? step - 1 : kTransitionFrames - step;
    return {static_cast<int>(tile.left * t / 10), static_cast<int>(tile.top * t / 10),
            static_cast<int>(tile.width * t / 10 + panelWidth * f / 10),
            static_cast<int>(tile.height * t / 10 + panelHeight * f / 10)};
}

std::array<Rect, 4> backStrips(const Rect& frame, int panelWidth, int panelHeight) {
    const int right = frame.left + frame.width;
    const int bottom = frame.top + frame.height;
    return {{
        {0, 0, frame.left, panelHeight},
        {frame.left, 0, frame.width, frame.top},
        {frame.left, bottom, frame.width, panelHeight - bottom},
        {right, 0, panelWidth - right, panelHeight},
    }};
}

}  // namespace hlx::preview
