#include "firmware/hex_image.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "terminal/job_result.h"

namespace hlx::firmware {
namespace {

// Classes of a byte for the decoder: a digit's value 0..15, a line end, or anything else.
constexpr std::uint8_t kLineEnd = 0x10;
constexpr std::uint8_t kOther = 0x20;

constexpr std::array<std::uint8_t, 256> makeClassTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& c : table) c = kOther;
    for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<std::uint8_t>(i);
    for (int i = 0; i < 6; ++i) {
        table['a' + i] = static_cast<std::uint8_t>(10 + i);
        table['A' + i] = static_cast<std::uint8_t>(10 + i);
    }
    table['\r'] = kLineEnd;
    table['\n'] = kLineEnd;
    return table;
}

constexpr std::array<std::uint8_t, 256> kClass = makeClassTable();

bool isLineEnd(std::uint8_t c) { return c == '\r' || c == '\n'; }

}  // namespace

std::string tooLargeLine(std::int64_t fileSize) {
    return "Fehler: Datei ist zu groß (" + std::to_string(fileSize) + " Bytes, höchstens " +
           std::to_string(HexImage::kCapacity) + " Bytes)";
}

std::string tooLongLine(int pairs, std::size_t bufferSize) {
    return "Fehler: Zeile zu lang (" + std::to_string(pairs) + " Bytes, höchstens " + std::to_string(bufferSize) +
           " Bytes)";
}

int decodeRecord(std::span<const std::uint8_t> bytes, std::int32_t& position, std::span<std::uint8_t> record,
                 int& decodedLength, int& pairs) {
    decodedLength = 0;
    pairs = 0;
    const std::uint8_t* const base = bytes.data();
    const std::uint8_t* const end = base + bytes.size();
    const std::uint8_t* p = base + position;
    if (p >= end) return 0;

    // Skip line ends; c is the byte taken last.
    std::uint8_t c;
    do {
        c = *p++;
    } while (isLineEnd(c) && p < end);
    if (c != ':') {
        position = static_cast<std::int32_t>(p - base);
        return p >= end ? 0 : result::kLineStart;
    }

    std::uint8_t* const out = record.data();
    const std::size_t capacity = record.size();
    std::size_t count = 0;
    while (p < end) {
        const std::uint8_t high = kClass[*p++];
        if (high >= 16) {
            position = static_cast<std::int32_t>(p - base);
            if (high == kOther) return result::kBadCharacter;
            pairs = static_cast<int>(count);
            if (count <= capacity) decodedLength = static_cast<int>(count);
            return 0;
        }
        if (p >= end) {
            position = static_cast<std::int32_t>(p - base);
            return result::kLineEnd;
        }
        const std::uint8_t low = kClass[*p++];
        if (low >= 16) {
            position = static_cast<std::int32_t>(p - base);
            return low == kLineEnd ? result::kLineEnd : result::kBadCharacter;
        }
        if (count < capacity) out[count] = static_cast<std::uint8_t>((high << 4) | low);
        ++count;
    }
    // The data ran out without a line end: no record, no error.
    position = static_cast<std::int32_t>(p - base);
    return 0;
}

HexImage::HexImage() : m_data(new std::uint8_t[kCapacity]) {}

LoadResult HexImage::load(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return LoadResult::CannotOpen;
    // A folder or a device opens too, but has no length to read.
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return LoadResult::CannotOpen;
    }
    std::int64_t length = -1;
    if (::fseeko(file, 0, SEEK_END) == 0) length = ::ftello(file);
    if (length < 0 || ::fseeko(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return LoadResult::CannotOpen;
    }
    m_lastFileSize = length;
    if (length > kCapacity) {
        std::fclose(file);
        return LoadResult::TooLarge;
    }
    const std::size_t wanted = static_cast<std::size_t>(length);
    const std::size_t got = wanted == 0 ? 0 : std::fread(m_data.get(), 1, wanted, file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (got != wanted || failed) {
        // Part of the buffer may already hold the new file: leave nothing that looks like a whole file.
        m_size = 0;
        m_position = 0;
        return LoadResult::CannotOpen;
    }
    m_size = static_cast<std::int32_t>(length);
    m_position = 0;
    return LoadResult::Ok;
}

LoadResult HexImage::assign(std::string_view bytes) {
    m_lastFileSize = static_cast<std::int64_t>(bytes.size());
    if (bytes.size() > static_cast<std::size_t>(kCapacity)) return LoadResult::TooLarge;
    if (!bytes.empty()) std::memcpy(m_data.get(), bytes.data(), bytes.size());
    m_size = static_cast<std::int32_t>(bytes.size());
    m_position = 0;
    return LoadResult::Ok;
}

int HexImage::readRecord(std::span<std::uint8_t> record, int& decodedLength) {
    const int code = decodeRecord({m_data.get(), static_cast<std::size_t>(m_size)}, m_position, record,
                                  decodedLength, m_lastPairs);
    m_lastTooLong = code == 0 && static_cast<std::size_t>(m_lastPairs) > record.size();
    return code;
}

int HexImage::checkFile(std::span<std::uint8_t> scratch, OutputLog& log) {
    log.appendLine("Prüfe Hex File");
    log.refresh();
    int errors = 0;
    while (m_position < m_size) {
        int length = 0;
        const int code = readRecord(scratch, length);
        if (code == 0 && !m_lastTooLong) continue;
        ++errors;
        if (errors <= 9) {
            log.appendLine(code != 0 ? "Fehlercode: " + std::to_string(code) : tooLongLine(m_lastPairs, scratch.size()));
            log.refresh();
        }
    }
    log.appendLine("Anzahl Fehler: " + std::to_string(errors));
    log.refresh();
    m_position = 0;
    return errors;
}

void HexImage::setPosition(std::int32_t position) { m_position = std::clamp(position, 0, m_size); }

HexImage& programHexImage() {
    static HexImage image;
    return image;
}

}  // namespace hlx::firmware
