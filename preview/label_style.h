#pragma once
// setLabel: how the preview window writes a text into one of its labels. The text shown is the table text
// up to its first control character (so the first language of a four-language text), turned from
// Windows-1252 into UTF-8 and into upper case. The style then places and sizes the label:
//
//   style            top  left  width  font  alignment  auto size
//   Keep (-1)        -    -     -      -     -          -
//   Name (0)         0    -     -      -16   -          -
//   BigValue (1)     50   0     160    -32   centre     off
//   BigMore (2)      140  120   -      -12   right      -
//   SmallValue (4)   28   0     70     -12   centre     off
//   SmallMore (5)    55   45    -      -10   right      -
//
// ("-": unchanged). Every style but Keep also makes the font white Segoe UI, which every label of the
// window already is.

#include <string>
#include <string_view>

#include "preview/preview_scene.h"

namespace hlx::preview {

enum class LabelStyle { Keep = -1, Name = 0, BigValue = 1, BigMore = 2, SmallValue = 4, SmallMore = 5 };

// Upper case as Windows gives it for Windows-1252: a-z, the accented letters and the three letters of
// 0x9A, 0x9C, 0x9E and y-diaeresis; sharp s and micro sign have no capital and stay.
char upperCase1252(char c);
// The text up to its first character below 32, in upper case, as UTF-8.
std::string labelText(std::string_view text1252);
// The text up to its first tab, as UTF-8, in its own case.
std::string firstLanguage(std::string_view text1252);

void setLabel(LabelState& label, std::string_view text1252, LabelStyle style);

}  // namespace hlx::preview
