#pragma once
// Reading through the LPC ISP boot loader: the backup the programming job takes before it erases
// (hlx flash isp --backup), and the jobs that only read (hlx isp-read, hlx isp-info).
//
//   tool                                   boot loader
//   (synchronise, see isp_session.h)
//   A 0          (echo off)                0
//   J                                      0, the part id
//   [K                                     0, the boot code's minor and major version    isp-info]
//   [N                                     0, the serial number in four words            isp-info]
//   R <address> <count>  for every sector  0, the bytes as UU lines (see isp_verify.h)
//
// The reading jobs send nothing that changes the part, and leave the boot loader synchronised (echo off):
// the technician resets the monitor to start its firmware.
//
// While the boot loader runs it maps its own vectors over 0x00..0x3F, so those bytes of the flash cannot be
// read: a read or backup leaves them out of its file, and says so. Restoring such a backup leaves them
// erased (the boot loader then keeps control instead of starting code whose vectors are not known).
//
// A part whose code is read protected (CRP) answers "R" with CODE_READ_PROTECTION_ENABLED (19): no backup
// can be made, and the programming job erases nothing.
//
// Files are written as Intel HEX (records of 16 bytes, an extended linear address record at every 64 KiB)
// and replaced atomically; a file that cannot be written fails the job with the reason (its folder is
// tried before anything is read).
//
// Threads: the job thread alone.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "firmware/isp_conversation.h"
#include "jobs/job_frame.h"

namespace hlx::firmware {

// What ends the reading of a whole part: the boot loader answered "R" with this code.
inline constexpr int kCodeReadProtected = 19;

struct IspReadOptions {
    std::string out;          // the Intel HEX file to write
    std::uint64_t start = 0;  // a multiple of 4
    std::optional<std::uint64_t> length =
        {};        // a multiple of 4; nothing: to the end of the part's user flash
    int baud = 0;  // as IspOptions::baud
};

// The job of hlx isp-read: the part, then [start, start + length) of its user flash to options.out.
jobs::JobDefinition ispReadJob(IspReadOptions options);
// The job of hlx isp-info: the part id (and its name where known), the boot code version and the serial
// number, a line each.
jobs::JobDefinition ispInfoJob(int baud);

// Reads [begin, end) of the flash (multiples of 4; the bytes below 0x40 are left out) sector by sector and
// writes them to path. False, with a line saying why and the failure recorded, when the part refuses (read
// protection), an answer is missing or the file cannot be written. Echo must be off.
bool saveFlash(IspConversation& isp, std::uint64_t begin, std::uint64_t end, const std::string& path,
               std::string_view what);

// The Intel HEX text of bytes placed at address.
std::string intelHexOf(std::uint64_t address, std::span<const std::uint8_t> bytes);
// The size of that text for `length` bytes at address, without making it.
std::uint64_t intelHexSize(std::uint64_t address, std::uint64_t length);
// The size of the file a read of [start, start + length) writes (nothing: to the end of the largest user
// flash the job knows), the bytes the boot loader hides left out.
std::uint64_t readFileSize(std::uint64_t start, std::optional<std::uint64_t> length);

// Lines the jobs write (for tests).
std::string readProtectedLine();
std::string bootVectorsLeftOutLine();

}  // namespace hlx::firmware
