#pragma once
// NavStack: the way down through the menu. Entry [depth] holds the code of the page shown (page number
// and selected entry); the entries below hold the codes of the entries through which the pages above
// were entered. It holds 40 codes; the menu's pages nest at most three deep, and a push beyond the 40 is
// refused rather than written past the end.

#include <array>
#include <cstddef>

#include "preview/preview_scene.h"

namespace hlx::preview {

class NavStack {
public:
    static constexpr int kCapacity = 40;

    int depth() const { return m_depth; }
    ItemCode current() const { return m_codes[static_cast<std::size_t>(m_depth)]; }
    ItemCode at(int level) const { return m_codes[static_cast<std::size_t>(level)]; }
    void setCurrent(ItemCode code) { m_codes[static_cast<std::size_t>(m_depth)] = code; }

    // Records the entry left through (as the current code) and the new page above it; false when full.
    bool push(ItemCode leftThrough, ItemCode entered) {
        if (m_depth + 1 >= kCapacity) return false;
        setCurrent(leftThrough);
        ++m_depth;
        setCurrent(entered);
        return true;
    }
    // One level up; false at the top page.
    bool pop() {
        if (m_depth == 0) return false;
        --m_depth;
        return true;
    }
    void reset(ItemCode start) {
        m_depth = 0;
        setCurrent(start);
    }

private:
    std::array<ItemCode, kCapacity> m_codes{};
    int m_depth = 0;
};

}  // namespace hlx::preview
