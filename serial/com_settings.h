#pragma once
// ComSettings: the five line-setting entries, chosen by the item index of the COM-settings combo box
// (never by parsing its text). Any other index, -1 (nothing selected) included, gives the fallback
// 460800 baud, 8 data bits, even parity, 1 stop bit.

#include <array>
#include <string_view>

namespace hlx::serial {

enum class Parity { None, Even };

struct LineSettings {
    int baud;
    int dataBits;
    Parity parity;
    int stopBits;
    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

struct ComSettingsEntry {
    std::string_view text;  // the combo box item
    LineSettings line;
};

inline constexpr std::array<ComSettingsEntry, 5> kComSettings{{
    {"115200,8,E,1", {115200, 8, Parity::Even, 1}},
    {"460800,8,E,1", {460800, 8, Parity::Even, 1}},
    {"115200,8,N,1", {115200, 8, Parity::None, 1}},
    {"9600,8,E,1", {9600, 8, Parity::Even, 1}},
    {"57600,8,E,1", {57600, 8, Parity::Even, 1}},
}};

inline constexpr LineSettings kFallbackSettings{460800, 8, Parity::Even, 1};

// The entry used by the boot loader: no parity.
inline constexpr int kBootLoaderEntry = 2;

constexpr LineSettings comSettings(int entry) {
    if (entry >= 0 && entry < static_cast<int>(kComSettings.size())) return kComSettings[entry].line;
    return kFallbackSettings;
}

}  // namespace hlx::serial
