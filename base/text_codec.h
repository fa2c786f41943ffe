#pragma once
// Text conversions at the edges of the program. Inside, text is UTF-8.
// - The monitor speaks 8-bit: a received byte is shown as its Windows-1252 character (the five bytes that
//   code page leaves undefined, 0x81 0x8D 0x8F 0x90 0x9D, become U+0081 ... as Windows does; NUL becomes
//   U+2400 so it stays visible). Text sent to the monitor is the low byte of each character, with every
//   character below code 32 dropped (to8Bit).
// - The window counts UTF-16 code units, hence the UTF-16 conversions; a surrogate without its partner
//   becomes U+FFFD.
// Invalid UTF-8 never throws: each bad byte decodes as U+FFFD.

#include <cstdint>
#include <string>
#include <string_view>

namespace hlx::base {

std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);
// Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);
// The bytes as valid UTF-8: each byte that does not begin a well-formed sequence becomes U+FFFD.
std::string toValidUtf8(std::string_view bytes);

// Each byte becomes one character (see above).
std::string windows1252ToUtf8(std::string_view bytes);
// The inverse of windows1252ToUtf8 (U+2400 gives 0x00); characters Windows-1252 cannot show become
// replacement.
std::string utf8ToWindows1252(std::string_view utf8, char replacement = '?');

// Characters below code 32 dropped, every other character gives its low byte (U+00E4 gives 0xE4, U+20AC
// gives 0xAC): what the monitor receives of a text. Not the inverse of windows1252ToUtf8.
std::string to8Bit(std::string_view utf8);

}  // namespace hlx::base
