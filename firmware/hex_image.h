#pragma once
// HexImage: an Intel HEX file held whole in memory, exactly as stored on disk (line ends included), with a
// read position, and the reader that decodes it one text line at a time into a HexRecord. The download
// jobs and the file sender load their file into the one program-wide image (programHexImage), check it
// with checkFile before anything is sent, and then read it record by record.
//
// A line of the file and the record decoded from it:
//
//   :LLAAAATTDD...DDCC CR/LF        text: ':' then two hex digits (either case) per byte
//
//   record index   content
//   0              byte count n (number of data bytes)
//   1, 2           load address, high byte first
//   3              record type (0 data, 1 end of file, 2 extended segment address, 3 start segment
//                  address, 4 extended linear address, 5 start linear address)
//   4 .. 3+n       data bytes
//   4+n            checksum
//
// The reader decodes syntax only: it counts the digit pairs of the line (the decoded length, n + 5 for a
// consistent line) and compares neither n with that count nor the checksum with the bytes. A record whose
// decoded length is 3 or less is empty for every consumer. checkFile, which runs before anything is sent,
// does count a record whose count byte disagrees with its digit pairs as an error (with its line number),
// and a record whose checksum does not match its bytes ("Fehlercode: 16", kChecksumCode): no method
// programs a line that says it is damaged, whichever checksum it would send.
//
// Line result codes (the matching JobResult bits): 0 success, 2 unexpected line end (a line or the file
// ends inside a digit pair), 4 unexpected character, 8 wrong line start. After a failure the next read
// resumes right after the offending character, so a line broken by a bad character costs one 4 and then
// one 8 for each further character before its line end. CR, LF and CR LF all end a line; empty lines are
// skipped. The last line of a file that is not followed by a line end yields no record and no error, and
// a single character other than ':' as the file's very last byte is ignored.
//
// A line with more digit pairs than the caller's record buffer holds never writes beyond the buffer: the
// reader stores what fits, reads on to the line end with the usual result codes and, if the line is
// otherwise sound, returns 0 with a decoded length of 0 (so no consumer sends a cut-off record) and sets
// lastLineTooLong(). checkFile counts such a line as an error with a line of its own, so a download
// refuses the file before it sends anything.
//
// Threads: an image is used by one thread at a time (the running job). Ownership: the bytes live in a
// FileBuffer, the program's own (handed to jobs through their context) or one the image owns.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/file_buffer.h"
#include "output/output_log.h"

namespace hlx::firmware {

// The code checkFile shows ("Fehlercode: 16") for a record whose checksum does not match its bytes. A code
// of the check alone, beside the reader's 2, 4 and 8: the reader never returns it, so it never reaches a
// result word (where 0x10 is a short write); the check's finding there is 0x100.
inline constexpr int kChecksumCode = 16;

// True when the bytes of a decoded record (count to checksum) add up to 0 modulo 256.
bool checksumMatches(std::span<const std::uint8_t> record);

// Decodes the line at position in bytes into record, as HexImage::readRecord does; position is advanced.
// pairs receives the number of digit pairs the line held (also those beyond record's size) when the
// result is 0 and the line ended, otherwise 0. The image's reader and the pre-flight analysis share it.
int decodeRecord(std::span<const std::uint8_t> bytes, std::int32_t& position, std::span<std::uint8_t> record,
                 int& decodedLength, int& pairs);

class HexImage {
public:
    static constexpr std::int32_t kCapacity = base::FileBuffer::kCapacity;

    // An image over a buffer of its own (tests, tools).
    HexImage();
    // An image over the program's file buffer, which must outlive it.
    explicit HexImage(base::FileBuffer& buffer);
    HexImage(const HexImage&) = delete;
    HexImage& operator=(const HexImage&) = delete;

    // Reads the whole file; size := its length, position := 0 (see FileBuffer::load).
    base::Status load(const std::string& path) { return m_buffer->load(path); }
    base::Status assign(std::string_view bytes) { return m_buffer->assign(bytes); }
    std::int64_t lastFileSize() const { return m_buffer->lastFileSize(); }

    // Decodes the next line at position into record; returns the line result code. decodedLength is the
    // number of digit pairs on success and 0 otherwise. Writes at most record.size() bytes.
    int readRecord(std::span<std::uint8_t> record, int& decodedLength);
    // True when the last readRecord met a sound line with more digit pairs than its buffer holds.
    bool lastLineTooLong() const { return m_lastTooLong; }
    // The digit pairs of that line.
    int lastLinePairs() const { return m_lastPairs; }

    // Decodes the whole image once with scratch as the record buffer, lists what it finds in the
    // output window ("Prüfe Hex File", up to nine "Fehlercode: c" lines, "Anzahl Fehler: n"), rewinds
    // position to 0 and returns the number of bad records. A file whose records are all sound but none of
    // them a data record that holds a byte counts as one error (noDataLine): a download of it would
    // program nothing.
    int checkFile(std::span<std::uint8_t> scratch, output::OutputLog& log);

    std::int32_t position() const { return m_buffer->position(); }
    void setPosition(std::int32_t position) { m_buffer->setPosition(position); }
    std::int32_t size() const { return m_buffer->size(); }
    bool atEnd() const { return m_buffer->atEnd(); }
    const std::uint8_t* data() const { return m_buffer->data(); }
    std::string_view bytes() const { return m_buffer->bytes(); }

private:
    std::unique_ptr<base::FileBuffer> m_own;
    base::FileBuffer* m_buffer;
    int m_lastPairs = 0;
    bool m_lastTooLong = false;
};

// The line checkFile writes for a record whose count byte disagrees with its digit pairs.
std::string countMismatchLine(int line, int count, int pairs);

// Line numbers of byte offsets of a file, for offsets asked in ascending order, counted as the reader
// counts lines: CR, LF and CR LF each end a line. One pass over the file in all.
class LineCounter {
public:
    explicit LineCounter(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    explicit LineCounter(std::string_view bytes)
        : m_bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()) {}

    // The 1-based line of the byte at offset.
    int lineAt(std::size_t offset);
    // Where the line of the last lineAt starts.
    std::size_t lineStart() const { return m_lineStart; }
    // The line of the record the reader decodes from position on (line ends before it are skipped).
    int lineOfRecordAt(std::size_t position);

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_counted = 0;
    std::size_t m_lineStart = 0;
    int m_line = 1;
};

// The line checkFile writes for a file without a single data record holding a byte.
std::string noDataLine();

// The line checkFile writes for a line too long for its scratch buffer.
std::string tooLongLine(int pairs, std::size_t bufferSize);

}  // namespace hlx::firmware
