// The console's key events as the terminal reads them (cli/win32_console_keys.h): one case per kind of
// key, each a list of events and the bytes they give.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/win32_console_keys.h"

namespace hlx::cli {
namespace {

struct Key {
    wchar_t c = 0;
    WORD vk = 0;
    DWORD state = 0;
    bool down = true;
    WORD repeat = 1;
};

INPUT_RECORD record(const Key& key) {
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = key.down ? TRUE : FALSE;
    r.Event.KeyEvent.wRepeatCount = key.repeat;
    r.Event.KeyEvent.wVirtualKeyCode = key.vk;
    r.Event.KeyEvent.uChar.UnicodeChar = key.c;
    r.Event.KeyEvent.dwControlKeyState = key.state;
    return r;
}

struct KeysCase {
    const char* name;
    std::vector<Key> keys;
    std::string bytes;
};

class ConsoleKeysTest : public ::testing::TestWithParam<KeysCase> {};

TEST_P(ConsoleKeysTest, GiveTheBytesATerminalSends) {
    std::vector<INPUT_RECORD> records;
    for (const Key& key : GetParam().keys) records.push_back(record(key));
    ConsoleKeys keys;
    EXPECT_EQ(GetParam().bytes, keys.translate(records.data(), static_cast<DWORD>(records.size())));
}

constexpr DWORD kCtrl = LEFT_CTRL_PRESSED;
constexpr DWORD kAltGr = LEFT_CTRL_PRESSED | RIGHT_ALT_PRESSED;

INSTANTIATE_TEST_SUITE_P(
    Keys, ConsoleKeysTest,
    ::testing::Values(KeysCase{"TextAndEnter",
                               {{L'S', 'S'}, {L'=', VK_OEM_PLUS}, {L'1', '1'}, {L'\r', VK_RETURN}},
                               "S=1\r"},
                      KeysCase{"UmlautAsUtf8", {{L'\u00FC', VK_OEM_1}}, "\xC3\xBC"},
                      KeysCase{"SurrogatePairAsOneCharacter", {{0xD83D, 0}, {0xDE00, 0}}, "\xF0\x9F\x98\x80"},
                      KeysCase{"LoneSecondHalfGivesNothing", {{0xDE00, 0}, {L'a', 'A'}}, "a"},
                      KeysCase{"RepeatCount", {{L'x', 'X', 0, true, 3}}, "xxx"},
                      KeysCase{"ReleaseGivesNothing", {{L'x', 'X', 0, false}}, ""},
                      KeysCase{"Backspace", {{L'\b', VK_BACK}}, "\x08"},
                      KeysCase{"CtrlBracketAsCharacter", {{0x1D, VK_OEM_6, kCtrl}}, "\x1D"},
                      KeysCase{"CtrlBracketKeyWithoutCharacter", {{0, VK_OEM_6, RIGHT_CTRL_PRESSED}}, "\x1D"},
                      KeysCase{"AltGrNineTypesABracket", {{L']', '9', kAltGr}}, "]"},
                      KeysCase{"CtrlC", {{0x03, 'C', kCtrl}}, "\x03"},
                      KeysCase{"ArrowsEscapeAndShiftGiveNothing",
                               {{0, VK_LEFT}, {0x1B, VK_ESCAPE}, {0, VK_SHIFT, SHIFT_PRESSED}},
                               ""}),
    [](const ::testing::TestParamInfo<KeysCase>& info) { return std::string(info.param.name); });

TEST(ConsoleKeys, OtherEventsGiveNothing) {
    INPUT_RECORD events[2]{};
    events[0].EventType = MOUSE_EVENT;
    events[1].EventType = WINDOW_BUFFER_SIZE_EVENT;
    ConsoleKeys keys;
    EXPECT_EQ("", keys.translate(events, 2));
}

}  // namespace
}  // namespace hlx::cli
