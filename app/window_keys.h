#pragma once
// The main window at the keyboard, as tables the window applies and the tests read: the order in which Tab
// walks the controls (the order the eye reads them: the COM row and the firmware fields with their update
// buttons on the left, the picture and the terminal buttons on the right, the output window, then the
// send-file rows, each row left to right), and the Alt+key of the buttons that start a job. The captions are
// the system's own texts and stay as they are (no '&' in them, no underline): the key is bound to the
// button beside its caption and named in the button's tool tip.

#include <array>
#include <string_view>

namespace hlx::app {

// Object names, in Tab order. The picture (Image1) takes the focus only once it is shown.
inline constexpr std::array<std::string_view, 25> kTabOrder{
    "editComNr",
    "editCOMSettings",
    "editFirmwareFile",
    "editFWfileRealterm",
    "editFWfileBootLoader",
    "btnUpdate",
    "Button1",
    "Button2",
    "Image1",
    "Button3",
    "Button4",
    "Button5",
    "OutputWindow",
    "editSendFile1",
    "Button6",
    "editSendFile4",
    "Button9",
    "editSendFile2",
    "Button7",
    "editSendFile5",
    "Button10",
    "editSendFile3",
    "Button8",
    "editSendFile6",
    "Button11",
};

struct Mnemonic {
    std::string_view button;  // object name
    char key;                 // with Alt: a letter (upper case) or a digit
};

// The update buttons by a letter of their method, the senders by their number ("Send Terminal": T).
inline constexpr std::array<Mnemonic, 10> kMnemonics{{
    {"btnUpdate", 'Q'},  // Update (RTQ)
    {"Button1", 'R'},    // Update (Realterm)
    {"Button2", 'B'},    // Update (Bootloader)
    {"Button5", 'T'},    // Send Terminal
    {"Button6", '1'},
    {"Button7", '2'},
    {"Button8", '3'},
    {"Button9", '4'},
    {"Button10", '5'},
    {"Button11", '6'},
}};

// The buttons that start a job: disabled while one runs.
inline constexpr std::array<std::string_view, 10> kJobButtons{
    "btnUpdate", "Button1", "Button2", "Button5",  "Button6",
    "Button7",   "Button8", "Button9", "Button10", "Button11",
};

}  // namespace hlx::app
