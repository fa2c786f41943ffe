#include "serial/port_name.h"

#include <cctype>
#include <climits>

#include "serial/port_list.h"

namespace hlx::serial {

std::optional<int> scanComNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) value = INT_MAX;  // saturate rather than overflow
    }
    return static_cast<int>(negative ? -value : value);
}

int readComNumber(std::string_view text) {
    return scanComNumber(text).value_or(0);
}

std::string portDevicePath(std::string_view text) {
    std::optional<int> number = scanComNumber(text);
    std::string_view trimmed = text;
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.front())))
        trimmed.remove_prefix(1);
    while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back())))
        trimmed.remove_suffix(1);
    if (!number && trimmed.size() > 3) {
        const auto upper = [](char c) {
            return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        };
        if (upper(trimmed[0]) == 'C' && upper(trimmed[1]) == 'O' && upper(trimmed[2]) == 'M')
            number = scanComNumber(trimmed.substr(3));
    }
    if (number) {
        // COM numbers start at 1; anything below names no port and fails to open with a clear message.
        if (*number < 1) return "COM" + std::to_string(*number);
        return comPortDevice(*number);
    }
    return std::string(trimmed);
}

std::string PortInfo::fieldText() const {
    if (comNumber > 0) return std::to_string(comNumber);
    return byId.empty() ? device : byId;
}

}  // namespace hlx::serial
