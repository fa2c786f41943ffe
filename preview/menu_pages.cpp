// MenuPage and PageEntry: the pages of the menu preview. Page 1 is the start page; pages 7 to 12 are
// detail pages, opened by an entry whose item has the page's owner value.

#include "preview/menu_tables.h"

namespace hlx::preview {
namespace {

constexpr PageEntry kPage1[] = {{1, 0}, {32, 0}, {33, 2}, {119, kLinkDetail}, {70, kLinkDetail}, {0, 0}};
constexpr PageEntry kPage2[] = {{33, kLinkDetail}, {20, 3}, {21, 4}, {34, 0}, {45, kLinkDetail},
                                {23, 0},           {24, 0}, {22, 5}, {0, 0}};
constexpr PageEntry kPage3[] = {{20, 0}, {41, 0}, {42, 0}, {43, 0}, {28, 0}, {29, 0}, {30, 0}, {0, 0}};
constexpr PageEntry kPage4[] = {{21, 0}, {38, 0}, {39, 0}, {40, 0}, {24, 0}, {27, 0}, {0, 0}};
constexpr PageEntry kPage5[] = {{28, 0}, {29, 0}, {30, 0}, {24, 0}, {27, 0}, {0, 0}};
constexpr PageEntry kPage6[] = {{0, 0}};
constexpr PageEntry kPage7[] = {{127, 0}, {131, 0}, {132, 0}, {0, 0}};
// The zoom 2 page lists its X position twice, as the monitor's own page does.
constexpr PageEntry kPage8[] = {{128, 0}, {133, 0}, {133, 0}, {0, 0}};
constexpr PageEntry kPage9[] = {{129, 0}, {130, 0}, {0, 0}};
constexpr PageEntry kPage10[] = {{33, kLinkDetail}, {35, 0}, {36, 0}, {37, 0}, {0, 0}};
constexpr PageEntry kPage11[] = {{33, kLinkDetail}, {624, 0}, {625, 0}, {0, 0}};
constexpr PageEntry kPage12[] = {{45, kLinkDetail}, {615, kLinkDetailFirstSmall},
                                 {616, 0},          {617, 0},
                                 {599, 0},          {618, 0},
                                 {619, 0},          {620, 0},
                                 {599, 0},          {621, 0},
                                 {622, 0},          {623, 0},
                                 {599, 0},          {0, 0}};

}  // namespace

constexpr std::array<MenuPage, kMenuPageCount> kMenuPages = {{
    {nullptr, 0, 0, 0},
    {kPage1, 0, 0, 0},
    {kPage2, 0, 0, 0},
    {kPage3, 0, 0, 0},
    {kPage4, 0, 0, 0},
    {kPage5, 0, 0, 0},
    {kPage6, 0, 0, 0},
    {kPage7, 0, 119, 1},   // scaling: zoom 1
    {kPage8, 0, 119, 2},   // scaling: zoom 2
    {kPage9, 0, 119, 6},   // scaling: 1:1
    {kPage10, 0, 33, 1},   // colour temperature: user gains
    {kPage11, 0, 33, 72},  // colour temperature: user x/y
    {kPage12, 0, 45, 9},   // gamut: user primaries
    {nullptr, 0, 0, 0},
}};

const MenuPage& menuPage(int page) {
    if (page < 0 || static_cast<std::size_t>(page) >= kMenuPageCount) return kMenuPages[0];
    return kMenuPages[static_cast<std::size_t>(page)];
}

std::span<const PageEntry> pageEntries(int page) {
    const MenuPage& row = menuPage(page);
    if (row.entries == nullptr) return {};
    std::size_t n = 0;
    while (row.entries[n].itemId != 0) ++n;
    return {row.entries, n};
}

}  // namespace hlx::preview
