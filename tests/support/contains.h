#pragma once
// contains: whether a text holds a part, for the expectations on what a program printed. Header-only.

#include <string_view>

namespace hlx::test {

inline bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace hlx::test
