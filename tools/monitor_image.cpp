#include "tools/monitor_image.h"

#include <cstdio>
#include <fstream>

namespace hlx::tools {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendRecord(std::string& out, std::uint8_t type, std::uint16_t offset,
                  std::span<const std::uint8_t> data) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::uint8_t sum = 0;
    auto put = [&](std::uint8_t b) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
        sum = static_cast<std::uint8_t>(sum + b);
    };
    out += ':';
    put(static_cast<std::uint8_t>(data.size()));
    put(static_cast<std::uint8_t>(offset >> 8));
    put(static_cast<std::uint8_t>(offset & 0xFF));
    put(type);
    for (std::uint8_t b : data) put(b);
    const std::uint8_t checksum = static_cast<std::uint8_t>(-sum);
    out += kDigits[checksum >> 4];
    out += kDigits[checksum & 0x0F];
    out += "\r\n";
}

}  // namespace

bool checksumOk(std::span<const std::uint8_t> record) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : record) sum = static_cast<std::uint8_t>(sum + b);
    return sum == 0;
}

bool recordConsistent(std::span<const std::uint8_t> record) {
    return record.size() >= 5 && record[0] + 5u == record.size() && checksumOk(record);
}

DecodedLine decodeHexLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    DecodedLine decoded;
    if (line.empty() || line.front() != ':' || (line.size() - 1) % 2 != 0) {
        decoded.error = LineError::Format;
        return decoded;
    }
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
        const int high = hexDigit(line[i]);
        const int low = hexDigit(line[i + 1]);
        if (high < 0 || low < 0) {
            decoded.error = LineError::Format;
            return decoded;
        }
        decoded.record.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    if (decoded.record.size() < 5 || decoded.record[0] + 5u != decoded.record.size())
        decoded.error = LineError::Format;
    else if (!checksumOk(decoded.record))
        decoded.error = LineError::Checksum;
    return decoded;
}

std::uint32_t AddressSpace::apply(std::span<const std::uint8_t> record) {
    const std::uint8_t count = record[0];
    const std::uint16_t offset = static_cast<std::uint16_t>((record[1] << 8) | record[2]);
    const std::uint8_t type = record[3];
    const std::uint32_t address = m_base + offset;
    if (type == kTypeData) {
        for (std::uint32_t i = 0; i < count; ++i) m_memory[address + i] = record[4 + i];
    } else if ((type == kTypeLinear || type == kTypeSegment) && count >= 2) {
        const std::uint32_t value = static_cast<std::uint32_t>((record[4] << 8) | record[5]);
        m_base = type == kTypeLinear ? value << 16 : value << 4;
    }
    return address;
}

std::string toIntelHex(const MemoryImage& memory) {
    std::string out;
    std::vector<std::uint8_t> run;
    std::uint32_t runStart = 0;
    bool havePage = false;
    std::uint32_t page = 0;
    auto flush = [&] {
        if (run.empty()) return;
        if (!havePage || (runStart >> 16) != page) {
            page = runStart >> 16;
            havePage = true;
            const std::uint8_t pageBytes[2] = {static_cast<std::uint8_t>(page >> 8),
                                               static_cast<std::uint8_t>(page)};
            appendRecord(out, kTypeLinear, 0, pageBytes);
        }
        appendRecord(out, kTypeData, static_cast<std::uint16_t>(runStart & 0xFFFF), run);
        run.clear();
    };
    for (const auto& [address, value] : memory) {
        // A run ends at a hole and at every 16-byte boundary (which also keeps it inside its page).
        if (!run.empty() && (address != runStart + run.size() || address % 16 == 0)) flush();
        if (run.empty()) runStart = address;
        run.push_back(value);
    }
    flush();
    out += ":00000001FF\r\n";
    return out;
}

bool writeImageFile(const std::string& path, const MemoryImage& memory) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file) return false;
        const std::string text = toIntelHex(memory);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!file.flush()) return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace hlx::tools
