#pragma once
// The boot loader job (job kind 2): programs the monitor's NXP LPC microcontroller through its ISP boot
// loader, at 115200 baud, 8 data bits, no parity, whatever the COM settings say (or, asked for, at another
// rate the boot loader takes).
//
//   tool                                   boot loader (echo on until "A 0")
//   (synchronise: "?" until "Synchronized", "Synchronized", "25000", [B <baud> 1], see isp_session.h)
//   U 23130      (unlock)                  0
//   J            (the part)                0, the part id: a part of the LPC23xx/LPC24xx family whose
//                                          flash holds the file, or refused before anything is erased
//   [with a backup: A 0, then R for every sector of the part's user flash, see isp_read.h]
//   P 0 <last>   (prepare sectors 0..last) 0           last: 27 on a 512 KiB part, 14 on 256, 10 on 128
//   E 0 <last>   (erase them)              0
//   A 0          (echo off)                0
//   for every copy (see isp_blocks.h), the copy at flash address 0 last:
//     W 1073745920 <size>                  0           RAM buffer at 0x40001000
//     UU lines, a checksum line after every 20 lines and after the last      OK | RESEND
//     P 0 <last>                           0
//     C <flash address> 1073745920 <size>  0
//   [--verify: R <flash address> <size> for every copy before the last, then the last copy is written,
//    then R for it; see isp_verify.h]
//   G 0 A        (start the code at 0, ARM mode)   0
//
// The copy at flash address 0 holds the vector table, whose checksum word makes the part start the user
// code at a reset instead of its boot loader. It is written after every other copy has been written and
// confirmed (and, with --verify, read back as sent): a job cut off before (the cable pulled, a stop
// signal, a refused command) leaves the vectors erased, so the part comes up in its boot loader and the
// update can simply be repeated; lines after the report say so (bootLoaderStartsLine and its kin), and
// the definition's deviceNote says it for a stop line or a gang's summary. The copies are the same as in
// file order, so the update takes no longer on the wire.
//
// Deadlines: every answer waits on a deadline of its own, armed once its command has gone out: the time
// the bytes written since the last answer and the answer itself take on the wire at the line's rate
// (10 bits a byte), plus the boot loader's own time: 2 s for the handshake's answers, 2 s and 150 ms a
// sector for the erase, 500 ms for the others (and 5 ms per 256 bytes for a copy). So a boot loader at
// 9600 baud, which needs 1.3 s for a group of 20 lines, is waited for as long as it needs.
// Each step runs only while no failure has been recorded; then "G 0 A" is sent (only when the job reached
// the boot loader: a refused file or port sends nothing at all), the result report written, whatever the
// target has sent meanwhile shown, and the selected COM settings entry applied again. "G 0 A" is not sent
// after a failure that came once the erase went out (and was not refused): the flash then holds only part
// of the image, and lines say the code is not started and what the part starts at its next reset.
//
// Before the handshake the job works out what the file programs; a file with no data below 0x80000000 or
// with data above the user flash (0x7DFFF) is refused with a line of its own (0x100), so nothing is sent.
//
// The job's record names the line settings it ran at ("230400,8,N,1" after a change of rate).
//
// Window lines: "<file> geöffnet", the file check, "Sending Synchronisation Character 0x3F", "Sending
// Synchronisation Confimation", "Sending Crystal Frequency", "Unlock", "Read Part ID", the part ("Part:
// LPC2378 (ID 0x1700FD25), 504 KiB Flash"), "Prepare Flash Erase", "Flash Erase", and "Page: 0x%04x"
// (with " (Skipped)" for pages at 0x8000 and above, which are not programmed) for every extended linear
// address record.

#include <array>
#include <cstdint>
#include <string>

#include "firmware/isp_conversation.h"
#include "jobs/job_frame.h"

namespace hlx::firmware {

inline constexpr std::uint32_t kIspRamBuffer = 0x40001000;

// The rates the LPC2378's boot loader takes with "B"; the job starts at the boot loader entry's 115200.
inline constexpr std::array<int, 6> kIspBaudRates{9600, 19200, 38400, 57600, 115200, 230400};

struct IspOptions {
    bool verify = false;  // read every copy back before "G 0 A" and report what differs
    // Once synchronised, ask the boot loader for this rate (one of kIspBaudRates) and program at it; our
    // side changes right after its answer 0, as the part does. A refusal (another return code) leaves
    // both at the starting rate and says so in a line; no answer is a time-out, as for every command.
    // 0 or the starting rate: no "B".
    int baud = 0;
    // Not empty: before anything is erased, read every sector the job erases and write them to this Intel
    // HEX file (see isp_read.h); a backup that cannot be read or written leaves the flash as it was.
    std::string backupPath{};
};

// "Fehler: Datei belegt mehr als 16384 KiB Flash": a file whose programmed pages hold more data than any
// part could take; the job then sends nothing.
std::string tooMuchDataLine();
// A file whose data lies only in skipped pages (0x8000 and above); nothing is sent.
std::string noFlashDataLine();
// A file with data at or above the end of the user flash (0x7E000): "Fehler: Daten bis 0x0007E0FF, der
// Flash endet bei 0x0007DFFF"; nothing is sent.
std::string outsideFlashLine(std::uint64_t dataEnd);
// Written instead of sending "G 0 A" when a step failed after the flash may have been erased.
std::string notStartedLine();
// The line after it: what the chip starts at its next reset, by how far the copy of the vector table (the
// job's last copy) got: not sent or refused, sent without an answer, confirmed.
std::string bootLoaderStartsLine();
std::string vectorsUnconfirmedLine();
std::string firmwareStartsLine();
// What the job has left on the part when it did not succeed, for a runner's stop line or a gang's
// summary (English, as hlx's own lines).
std::string ispDeviceNote(const IspJobState& state);

// The whole definition of the job for the frame.
jobs::JobDefinition ispDownloadJob(IspOptions options = {});

}  // namespace hlx::firmware
