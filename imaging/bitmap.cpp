#include "imaging/bitmap.h"

#include <cassert>

namespace hlx::imaging {

void Bitmap::readRow(int y, std::span<Rgb> out) const {
    assert(static_cast<int>(out.size()) == width());
    for (int x = 0; x < static_cast<int>(out.size()); ++x) out[x] = pixel(x, y);
}

int nearestPaletteIndex(std::span<const Rgb> palette, Rgb c) {
    int best = -1;
    int bestDistance = 0;
    for (int i = 0; i < static_cast<int>(palette.size()); ++i) {
        const int dr = palette[i].r - c.r;
        const int dg = palette[i].g - c.g;
        const int db = palette[i].b - c.b;
        const int distance = dr * dr + dg * dg + db * db;
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
            if (distance == 0) break;
        }
    }
    return best;
}

}  // namespace hlx::imaging
