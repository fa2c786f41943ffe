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
// The file is reached through the FileSystem given (the operating system's by default).
//
// Threads: no shared state.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::base {

// status says what kind of failure it was: NotFound, PermissionDenied, NotRegularFile (a folder, FIFO or
// device), TooLarge (a regular file above the limit; nothing was read), IoError (a read failed part way or
// the file shrank while it was read), or the kind of any other system error.
struct [[nodiscard]] FileRead {
    Status status;
    std::int64_t fileSize = -1;  // the size found by fstat, also when the file was refused as too large
    std::size_t bytes = 0;       // bytes placed in the destination
};

// Reads the regular file at path whole into destination, which must hold at least its size.
[[nodiscard]] FileRead readRegularFile(const std::string& path, std::span<std::uint8_t> destination,
                                       FileSystem& files = systemFileSystem());
// The same into a string; limit is the largest size accepted.
[[nodiscard]] FileRead readRegularFile(const std::string& path, std::string& destination, std::size_t limit,
                                       FileSystem& files = systemFileSystem());

}  // namespace hlx::base
