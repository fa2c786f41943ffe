#include "firmware/hex_image.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "output/job_result.h"

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

bool isLineEnd(std::uint8_t c) {
    return c == '\r' || c == '\n';
}

}  // namespace

std::string countMismatchLine(int line, int count, int pairs) {
    return "Fehler in Zeile " + std::to_string(line) + ": " + std::to_string(count) +
           " Datenbytes angegeben, " + std::to_string(std::max(pairs - 5, 0)) + " vorhanden";
}

int LineCounter::lineAt(std::size_t offset) {
    for (; m_counted < offset && m_counted < m_bytes.size(); ++m_counted) {
        const std::uint8_t c = m_bytes[m_counted];
        if (c == '\r' || (c == '\n' && (m_counted == 0 || m_bytes[m_counted - 1] != '\r'))) ++m_line;
        if (isLineEnd(c)) m_lineStart = m_counted + 1;
    }
    return m_line;
}

int LineCounter::lineOfRecordAt(std::size_t position) {
    while (position < m_bytes.size() && isLineEnd(m_bytes[position])) ++position;
    return lineAt(position);
}

std::string noDataLine() {
    return "Fehler: Datei enthält keine Daten";
}

std::string tooLongLine(int pairs, std::size_t bufferSize) {
    return "Fehler: Zeile zu lang (" + std::to_string(pairs) + " Bytes, höchstens " +
           std::to_string(bufferSize) + " Bytes)";
}

bool checksumMatches(std::span<const std::uint8_t> record) {
    unsigned sum = 0;
    for (const std::uint8_t b : record) sum += b;
    return (sum & 0xFFu) == 0;
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
        return p >= end ? 0 : output::result::kLineStart;
    }

    std::uint8_t* const out = record.data();
    const std::size_t capacity = record.size();
    std::size_t count = 0;
    while (p < end) {
        const std::uint8_t high = kClass[*p++];
        if (high >= 16) {
            position = static_cast<std::int32_t>(p - base);
            if (high == kOther) return output::result::kBadCharacter;
            pairs = static_cast<int>(count);
            if (count <= capacity) decodedLength = static_cast<int>(count);
            return 0;
        }
        if (p >= end) {
            position = static_cast<std::int32_t>(p - base);
            return output::result::kLineEnd;
        }
        const std::uint8_t low = kClass[*p++];
        if (low >= 16) {
            position = static_cast<std::int32_t>(p - base);
            return low == kLineEnd ? output::result::kLineEnd : output::result::kBadCharacter;
        }
        if (count < capacity) out[count] = static_cast<std::uint8_t>((high << 4) | low);
        ++count;
    }
    // The data ran out without a line end: no record, no error.
    position = static_cast<std::int32_t>(p - base);
    return 0;
}

HexImage::HexImage() : m_own(std::make_unique<base::FileBuffer>()), m_buffer(m_own.get()) {}

HexImage::HexImage(base::FileBuffer& buffer) : m_buffer(&buffer) {}

int HexImage::readRecord(std::span<std::uint8_t> record, int& decodedLength) {
    std::int32_t position = m_buffer->position();
    const int code = decodeRecord({m_buffer->data(), static_cast<std::size_t>(m_buffer->size())}, position,
                                  record, decodedLength, m_lastPairs);
    m_buffer->setPosition(position);
    m_lastTooLong = code == 0 && static_cast<std::size_t>(m_lastPairs) > record.size();
    return code;
}

int HexImage::checkFile(std::span<std::uint8_t> scratch, output::OutputLog& log) {
    log.appendLine("Prüfe Hex File");
    log.refresh();
    int errors = 0;
    bool data = false;
    LineCounter lines(bytes());
    auto report = [&](const std::string& message) {
        ++errors;
        if (errors <= 9) {
            log.appendLine(message);
            log.refresh();
        }
    };
    while (!atEnd()) {
        const std::int32_t start = position();
        int length = 0;
        const int code = readRecord(scratch, length);
        std::string message;
        if (code != 0) {
            message = "Fehlercode: " + std::to_string(code);
        } else if (m_lastTooLong) {
            message = tooLongLine(m_lastPairs, scratch.size());
        } else if (length > 3 && scratch[0] + 5 != length) {
            // The count byte must agree with the line: a download would otherwise send bytes that are
            // not on it, or drop some that are.
            message =
                countMismatchLine(lines.lineOfRecordAt(static_cast<std::size_t>(start)), scratch[0], length);
        } else if (length > 3 && !checksumMatches({scratch.data(), static_cast<std::size_t>(length)})) {
            // The line was damaged on its way into the file: no method may program it, whether it sends
            // the file's checksum or one of its own.
            message = "Fehlercode: " + std::to_string(kChecksumCode);
        } else {
            // A data record with at least one byte: something a download would program.
            if (length > 5 && scratch[3] == 0x00) data = true;
            continue;
        }
        report(message);
    }
    // A file without data would make every download send nothing but its frame: the boot loader would
    // erase the whole flash and start nothing. Said only of a file whose records are sound: with bad
    // records the file is refused already, and the count stays the number of bad records.
    if (!data && errors == 0) report(noDataLine());
    log.appendLine("Anzahl Fehler: " + std::to_string(errors));
    log.refresh();
    setPosition(0);
    return errors;
}

}  // namespace hlx::firmware
