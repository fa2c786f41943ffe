#pragma once
// FileBuffer: a file held whole in memory, exactly as stored on disk, with a read position. The program
// has one, owned by whoever runs the jobs (the window or `hlx`) and handed to each job through its
// context: the downloads decode it as Intel HEX, the file sender sends it as it is. Its fixed capacity of
// kCapacity bytes is allocated once and never reallocated.
//
// load reads through readRegularFile, so a FIFO, a device or a folder is refused at once instead of
// blocking, and a file above the capacity is refused before anything is read.
//
// Several jobs can read one file at once (a gang run over several ports): readOnlyView gives each its own
// buffer over the same bytes, with a position of its own. A view never copies and never changes the
// bytes: load and assign on it are refused.
//
// Threads: used by one thread at a time (the running job). Views of one buffer may be used on several
// threads at once, as long as nobody loads into or assigns to the buffer they view while they live.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::base {

class FileBuffer {
public:
    static constexpr std::int32_t kCapacity = 30'000'000;

    FileBuffer();
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    // A read-only buffer over source's bytes as they stand, at position 0 (see above). The bytes stay
    // alive as long as the view does.
    static std::unique_ptr<FileBuffer> readOnlyView(const FileBuffer& source);
    bool readOnly() const { return m_readOnly; }

    // Reads the whole file; size := its length, position := 0. A failure names the path and says its kind
    // (see readRegularFile): TooLarge for more than kCapacity bytes, of which nothing was read. A failure
    // leaves the buffer as it was, except a read that failed part way: the buffer is then empty, so
    // nothing half-read passes for a whole file. A read-only view refuses.
    [[nodiscard]] Status load(const std::string& path, FileSystem& files = systemFileSystem());
    // The same from memory (tests, fuzzing, tools); fails only as TooLarge (or on a view).
    [[nodiscard]] Status assign(std::string_view bytes);
    // The length the last load or assign found, also when it was refused as TooLarge (-1: not known).
    std::int64_t lastFileSize() const { return m_lastFileSize; }
    // What the last load returned, so that a caller further up can name the reason (ok after a good load).
    const Status& lastError() const { return m_lastError; }
    // Counts the successful loads and assigns, so a caller can tell whether a job read a file into the
    // buffer (a refused load leaves the buffer, and this count, as they were).
    std::uint64_t loads() const { return m_loads; }

    std::int32_t position() const { return m_position; }
    // Clamped to 0..size, so the position never passes the end.
    void setPosition(std::int32_t position);
    std::int32_t size() const { return m_size; }
    bool atEnd() const { return m_position >= m_size; }
    const std::uint8_t* data() const { return m_data.get(); }
    std::string_view bytes() const {
        return {reinterpret_cast<const char*>(m_data.get()), static_cast<std::size_t>(m_size)};
    }

private:
    struct ViewOf {};
    FileBuffer(ViewOf, const FileBuffer& source);
    Status loadFrom(const std::string& path, FileSystem& files);
    Status assignFrom(std::string_view bytes);

    std::shared_ptr<std::uint8_t[]> m_data;
    bool m_readOnly = false;
    std::uint64_t m_loads = 0;
    std::int32_t m_size = 0;
    std::int32_t m_position = 0;
    std::int64_t m_lastFileSize = 0;
    Status m_lastError;
};

}  // namespace hlx::base
