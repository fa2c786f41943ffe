#pragma once
// The opening of every conversation with the LPC ISP boot loader, shared by the programming job and the
// jobs that only read (part information, flash read-out, backup):
//
//   tool                                   boot loader (echo on)
//   ?            again every 400 ms until  Synchronized     (the part may miss the first ones while it
//                the handshake's 5 s pass                    measures the rate)
//   Synchronized                           OK
//   25000        (crystal in kHz)          OK
//   [B <baud> 1  0: both sides change to that rate from the next byte]
//
// and the queries that answer with numbers after their return code ("J" part id, "K" boot code version,
// "N" serial number), and the part check of the programming job.
//
// Every answer waits on a deadline of its own: the time the bytes written since the last answer and the
// answer itself take on the wire at the line's rate, plus the boot loader's own time (IspConversation::
// armForAnswer).
//
// Threads: the job thread alone.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/isp_conversation.h"
#include "firmware/isp_parts.h"

namespace hlx::firmware {

// Synchronises at the boot loader entry's rate and, with baud neither 0 nor that rate, asks for baud; our
// side follows once the boot loader has taken it (state().baud follows as well). A refused rate leaves both
// at the starting rate with a line saying so. Sets state().handshakeRan once "?" is about to go out.
void synchronise(IspConversation& isp, int baud);

// Sends command and reads its return code and count numbers after it (one line each). With echoOn the
// boot loader sends the command back first. Nothing, with the failure recorded, when it refuses or an
// answer is missing or malformed.
std::optional<std::vector<std::uint32_t>> queryNumbers(IspConversation& isp, std::string_view command,
                                                       int count, bool echoOn);

// Reads the part id ("J"), names the part in the window ("Part: LPC2378 (ID 0x1700FD25), 504 KiB Flash")
// and decides whether this job may program it with data up to dataEnd (one past the last byte): a part of
// the LPC23xx/LPC24xx family whose user flash reaches that far. Otherwise a line says why and 0x40 is
// recorded. On success state().lastSector and state().flashEnd describe the part's user flash.
bool checkPart(IspConversation& isp, std::uint64_t dataEnd, bool echoOn);

// The part's line, and the refusals' lines (for tests).
std::string partLine(std::uint32_t id);
std::string unknownPartLine(std::uint32_t id);
std::string otherFamilyLine(std::uint32_t id);
std::string partTooSmallLine(std::uint32_t id, std::uint64_t dataEnd, std::uint64_t flashEnd);

// "230400,8,N,1": the settings text of the line the boot loader jobs talk at.
std::string ispSettingsText(int baud);

}  // namespace hlx::firmware
