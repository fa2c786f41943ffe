#pragma once
// Where the preview window puts its tiles, and the frames of its zoom transition.
//
// Entry tiles on TestPanel: the first b entries of a page are big tiles (160 x 160) in a row, one every
// 180 pixels from left 20, top 20; the others are small tiles (70 x 70) filling 2 x 2 blocks, one block
// per 180 pixels to the right of the big tiles:
//
//   big j:    left 20 + 180 j,                                  top 20
//   small k:  left 20 + 180 b + 90 (k mod 2) + 180 (k div 4),   top 20 + 90 ((k div 2) mod 2)
//
// b is 5 for up to five entries, else 4 - (n - 5) div 4 (6 to 8 entries give 4, 9 to 12 give 3, 13 to 16
// give 2, 17 to 20 give 1); an entry linked kLinkDetailFirstSmall becomes the first small tile instead.
// Choice tiles on DetailsPanel: ten to a row, 70 x 70, one every 90 pixels from 20, 20.
//
// A transition has 11 frames. Entering, a black blind grows from the tile's rectangle to the whole of
// TestPanel; going back, four black strips leave a window that shrinks from the whole panel to the tile.
// Frame s (1 .. 11) of entering mixes t = 11 - s tenths of the tile with f = s - 1 tenths of the panel,
// going back t = s - 1 and f = 11 - s; every coordinate is truncated toward zero.

#include <array>

#include "preview/preview_scene.h"

namespace hlx::preview {

enum class TransitionDirection { None = 0, Enter = 1, Back = 2 };

inline constexpr int kTransitionFrames = 11;

int bigTileCount(int entries);
Rect bigTileRect(int index);
Rect smallTileRect(int bigTiles, int smallIndex);
Rect choiceTileRect(int index);

// The rectangle of frame step (1 .. 11) between the tile and the whole panel.
Rect transitionFrame(const Rect& tile, int panelWidth, int panelHeight, int step,
                     TransitionDirection direction);
// The four strips around a frame going back, in the order Blind1Panel (left), Blind2Panel (above),
// Blind3Panel (below), Blind4Panel (right).
std::array<Rect, 4> backStrips(const Rect& frame, int panelWidth, int panelHeight);

}  // namespace hlx::preview
