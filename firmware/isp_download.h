#pragma once
// The boot loader job (job kind 2): programs the monitor's NXP LPC microcontroller through its ISP boot
// loader, at 115200 baud, 8 data bits, no parity, whatever the COM settings say (or, asked for, at another
// rate the boot loader takes).
//
//   tool                                   boot loader (echo on until "A 0")
//   ?                                      Synchronized
//   Synchronized                           OK
//   25000        (crystal in kHz)          OK
//   [B <baud> 1  (only with IspOptions::baud) 0: both sides change to that rate from the next byte]
//   U 23130      (unlock)                  0
//   P 0 27       (prepare sectors 0..27)   0
//   E 0 27       (erase them)              0
//   A 0          (echo off)                0
//   for every copy (see isp_blocks.h):
//     W 1073745920 <size>                  0           RAM buffer at 0x40001000
//     UU lines, a checksum line after every 20 lines and after the last      OK | RESEND
//     P 0 27                               0
//     C <flash address> 1073745920 <size>  0
//   [--verify: R <flash address> <size> for every copy, see isp_verify.h]
//   G 0 A        (start the code at 0, ARM mode)   0
//
// Deadlines: 5 s for "Synchronized" (armed before the input is drained), 2 s for each later handshake
// answer and 5 s for the erase, all armed after sending; 500 ms armed before "W" and before every data
// line, and the checksum, "P" and "C" answers of a copy must all arrive before the deadline armed for its
// last data line. Each step runs only while no failure has been recorded; then "G 0 A" is sent, the
// result report written, whatever the target has sent meanwhile shown, and the selected COM settings
// entry applied again. "G 0 A" is not sent after a failure that came once the erase went out (and was not
// refused): the flash may then hold valid vectors in front of a half-written image, and a line says the
// code is not started.
//
// Before the handshake the job works out what the file programs; a file with no data below 0x80000000 or
// with data above the user flash (0x7DFFF) is refused with a line of its own (0x100), so nothing is erased.
//
// Window lines: "<file> geöffnet", the file check, "Sending Synchronisation Character 0x3F", "Sending
// Synchronisation Confimation", "Sending Crystal Frequency", "Unlock", "Prepare Flash Erase", "Flash
// Erase", and "Page: 0x%04x" (with " (Skipped)" for pages at 0x8000 and above, which are not programmed)
// for every extended linear address record.

#include <array>
#include <cstdint>

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
};

// "Fehler: Datei belegt mehr als 16384 KiB Flash": a file whose programmed pages hold more data than any
// part could take; the job then sends nothing but "G 0 A".
std::string tooMuchDataLine();
// A file whose data lies only in skipped pages (0x8000 and above); nothing but "G 0 A" is sent.
std::string noFlashDataLine();
// A file with data at or above the end of the user flash (0x7E000): "Fehler: Daten bis 0x0007E0FF, der
// Flash endet bei 0x0007DFFF"; nothing but "G 0 A" is sent.
std::string outsideFlashLine(std::uint64_t dataEnd);
// Written instead of sending "G 0 A" when a step failed after the flash may have been erased.
std::string notStartedLine();

// The whole definition of the job for the frame.
jobs::JobDefinition ispDownloadJob(IspOptions options = {});

}  // namespace hlx::firmware
