#pragma once
// Intel HEX for tests: hexRecord and hexLine write one record (its bytes with the checksum, then its text
// line), and HexText builds a whole file record by record, keeping beside it the bytes its data records
// put at each 32-bit address (a type 4 record sets the upper 16 bits), so a test can compare a target's
// memory with the file. Lines are upper-case digits ending in CR LF unless a style says otherwise.
// hexBytesOf reads back what a program wrote: the bytes of its data records by address.
// Header-only.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

namespace hlx::test {

// How a record is written out: the case of its hex digits and its line end.
struct HexLineStyle {
    bool lowerCase = false;
    std::string_view lineEnd = "\r\n";
};

// A record's bytes: count, offset (high byte first), type, the data, and the checksum that makes them add
// up to 0.
inline std::vector<std::uint8_t> hexRecord(std::uint8_t type, std::uint16_t offset,
                                           const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> r;
    r.reserve(data.size() + 5);
    r.push_back(static_cast<std::uint8_t>(data.size()));
    r.push_back(static_cast<std::uint8_t>(offset >> 8));
    r.push_back(static_cast<std::uint8_t>(offset));
    r.push_back(type);
    for (std::uint8_t b : data) r.push_back(b);
    std::uint8_t sum = 0;
    for (std::uint8_t b : r) sum = static_cast<std::uint8_t>(sum + b);
    r.push_back(static_cast<std::uint8_t>(-sum));
    return r;
}

// A record's bytes as a text line: ':', two hex digits per byte, the line end.
inline std::string hexLine(const std::vector<std::uint8_t>& record, HexLineStyle style = {}) {
    std::string line = ":";
    for (std::uint8_t b : record) {
        if (style.lowerCase)
            fmt::format_to(std::back_inserter(line), "{:02x}", b);
        else
            fmt::format_to(std::back_inserter(line), "{:02X}", b);
    }
    line += style.lineEnd;
    return line;
}

class HexText {
public:
    // A type 4 record: the upper 16 bits of the addresses that follow.
    HexText& page(std::uint16_t page) {
        m_upper = static_cast<std::uint32_t>(page) << 16;
        return record(4, 0, {static_cast<std::uint8_t>(page >> 8), static_cast<std::uint8_t>(page)});
    }
    // A data record at a 16-bit offset in the current page.
    HexText& data(std::uint16_t offset, const std::vector<std::uint8_t>& bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            m_bytes[m_upper + offset + static_cast<std::uint32_t>(i)] = bytes[i];
        return record(0, offset, bytes);
    }
    // length bytes of a pattern that depends on the address, from offset on, in records of recordSize bytes.
    HexText& fill(std::uint16_t offset, std::size_t length, std::size_t recordSize = 16) {
        for (std::size_t done = 0; done < length; done += recordSize) {
            std::vector<std::uint8_t> bytes;
            for (std::size_t i = done; i < std::min(length, done + recordSize); ++i)
                bytes.push_back(patternAt(m_upper + offset + static_cast<std::uint32_t>(i)));
            data(static_cast<std::uint16_t>(offset + done), bytes);
        }
        return *this;
    }
    // Any record, with its checksum; data records placed this way are not remembered.
    HexText& record(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& bytes) {
        m_text += hexLine(hexRecord(type, offset, bytes), m_style);
        m_lastDigit = m_text.size() - m_style.lineEnd.size() - 1;
        return *this;
    }
    HexText& end() { return record(1, 0, {}); }
    // The style of the lines that follow.
    HexText& style(HexLineStyle style) {
        m_style = style;
        return *this;
    }
    // Spoils the checksum of the line written last (its last digit changes).
    HexText& spoilLastChecksum() {
        m_text[m_lastDigit] = m_text[m_lastDigit] == '0' ? '1' : '0';
        return *this;
    }

    const std::string& text() const { return m_text; }
    // The data bytes by address (pages at 0x8000 and above included).
    const std::map<std::uint32_t, std::uint8_t>& bytes() const { return m_bytes; }

    static std::uint8_t patternAt(std::uint32_t address) {
        return static_cast<std::uint8_t>(address * 31 + (address >> 8) + 0x11);
    }

private:
    std::string m_text;
    std::map<std::uint32_t, std::uint8_t> m_bytes;
    std::uint32_t m_upper = 0;
    HexLineStyle m_style;
    std::size_t m_lastDigit = 0;  // of the checksum written last
};

// The bytes by address of an Intel HEX text with data (0), end (1) and extended linear address (4)
// records; nothing when a line is not a record, its checksum is wrong, another type comes or the end
// record is missing.
inline std::optional<std::map<std::uint32_t, std::uint8_t>> hexBytesOf(std::string_view text) {
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::uint32_t upper = 0;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0) return std::nullopt;
        std::vector<std::uint8_t> record;
        for (std::size_t i = 1; i < line.size(); i += 2) {
            const std::string digits(line.substr(i, 2));
            if (digits.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) return std::nullopt;
            record.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
        }
        std::uint8_t sum = 0;
        for (const std::uint8_t b : record) sum = static_cast<std::uint8_t>(sum + b);
        if (sum != 0 || record.size() != record[0] + 5u) return std::nullopt;
        const std::uint32_t offset = (record[1] << 8) | record[2];
        switch (record[3]) {
            case 0:
                for (std::size_t i = 0; i < record[0]; ++i) bytes[(upper << 16) + offset + i] = record[4 + i];
                break;
            case 1:
                return text.empty() ? std::optional(bytes) : std::nullopt;
            case 4:
                if (record[0] != 2) return std::nullopt;
                upper = (record[4] << 8) | record[5];
                break;
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace hlx::test
