#pragma once
// Reading whole files without ever blocking on them. Every file the tool reads (firmware files, send
// files, terminal files, the settings file) goes through readRegularFile: the path is opened without
// waiting (O_NONBLOCK, so a FIFO without a writer cannot hold the open), its kind is checked (only a
// regular file is read: a FIFO, a terminal device, /dev/zero or a folder would block or never end) and its
// size is checked against the caller's limit before a byte is read.
//
// On failure nothing is written to the destination and the Status names the path and the reason, in
// words a technician can act on ("/home/t/fw.hex: No such file or directory", "/tmp/fifo: Not a regular
// file", "/home/t/big.hex: 31000000 bytes, at most 30000000").
//
// Threads: no shared state.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/status.h"

namespace hlx::base {

enum class ReadFailure {
    None,
    CannotOpen,  // missing, no permission, not a regular file, or a read error part way
    TooLarge,    // a regular file larger than the limit; nothing was read
};

struct FileRead {
    base::Status status;
    ReadFailure failure = ReadFailure::None;
    std::int64_t fileSize = -1;  // the size found by fstat, also when the file was refused as too large
    std::size_t bytes = 0;       // bytes placed in the destination
    int error = 0;               // errno of the failure (EINVAL: not a regular file, EFBIG: too large)
};

// Reads the regular file at path whole into destination, which must hold at least its size.
FileRead readRegularFile(const std::string& path, std::span<std::uint8_t> destination);
// The same into a string; limit is the largest size accepted.
FileRead readRegularFile(const std::string& path, std::string& destination, std::size_t limit);

}  // namespace hlx::base
