#pragma once
// HexText: builds Intel HEX text for tests record by record, and keeps beside it the bytes its data records
// put at each 32-bit address (a type 4 record sets the upper 16 bits), so a test can compare a target's
// memory with the file. Lines end in CR LF. Header-only.

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace hlx::test {

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
        std::vector<std::uint8_t> r{static_cast<std::uint8_t>(bytes.size()),
                                    static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset),
                                    type};
        r.insert(r.end(), bytes.begin(), bytes.end());
        std::uint8_t sum = 0;
        for (std::uint8_t b : r) sum = static_cast<std::uint8_t>(sum + b);
        r.push_back(static_cast<std::uint8_t>(-sum));
        m_text += ':';
        char pair[3];
        for (std::uint8_t b : r) {
            std::snprintf(pair, sizeof pair, "%02X", b);
            m_text += pair;
        }
        m_text += "\r\n";
        return *this;
    }
    HexText& end() { return record(1, 0, {}); }

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
};

}  // namespace hlx::test
