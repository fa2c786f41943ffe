#include "firmware/isp_download.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "firmware/download_common.h"
#include "firmware/hex_image.h"
#include "firmware/isp_blocks.h"
#include "firmware/isp_conversation.h"
#include "firmware/isp_read.h"
#include "firmware/isp_session.h"
#include "firmware/isp_verify.h"
#include "firmware/uu_encode.h"
#include "jobs/job_progress.h"
#include "output/job_result.h"
#include "serial/com_settings.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;
using serial::Milliseconds;

constexpr std::string_view kGo = "G 0 A";
// The boot loader's own time for an answer; the erase's is per sector (100 ms, at most 105 ms, in the
// part's data sheet) on top, and a copy's per 256 bytes (1 ms, at most 1.05 ms).
constexpr Milliseconds kAnswerTime = 500ms;
constexpr Milliseconds kHandshakeAnswer = 2000ms;
constexpr Milliseconds kEraseTimePerSector = 150ms;
constexpr Milliseconds kCopyTimePer256 = 5ms;

std::string sectorCommand(char letter, const IspJobState& state) {
    return std::string(1, letter) + " 0 " + std::to_string(state.lastSector);
}

std::string pageLine(std::uint16_t page) {
    std::string line = fmt::format("Page: 0x{:04x}", page);
    if (upperAddressOf(page) >= kSkippedPagesFrom) line += " (Skipped)";
    return line;
}

int percentOf(std::int32_t position, std::int32_t size) {
    return size <= 0 ? 0 : static_cast<int>(static_cast<std::int64_t>(position) * 100 / size);
}

// One step of the handshake after the part check, with echo on.
void handshakeStep(IspConversation& isp, std::string_view line, const std::string& sent, Milliseconds own) {
    const bool echoOn = !isp.state().echoOff;
    if (!isp.ok()) return;
    if (!line.empty()) {
        isp.link().log.addLine(line);
        isp.link().log.refresh();
    }
    if (!isp.sendLine(sent)) return;  // nothing to wait for: the command did not go out
    isp.armForAnswer(own, static_cast<std::int64_t>(sent.size()) + 8);
    const IspReplyStatus status =
        isp.await(echoOn ? std::string_view(sent) : std::string_view{}, IspReplyKind::ReturnCode);
    // Unless the boot loader refused it, the erase may have run, even when its answer is missing.
    if (sent[0] == 'E') isp.state().erased = status != IspReplyStatus::Failure;
}

// Synchronises, unlocks, checks the part against the file, erases the part's user flash and turns the
// echo off. With beforeErase (a backup), the echo goes off right after the unlock and beforeErase runs
// before anything is erased; the erase follows only when it succeeds.
void handshake(IspConversation& isp, IspJobState& state, int baud, std::uint64_t dataEnd,
               const std::function<bool(IspConversation&)>& beforeErase) {
    synchronise(isp, baud);
    // Unlocked first, so that a refused part can start its old code again.
    handshakeStep(isp, "Unlock", "U 23130", kHandshakeAnswer);
    if (!isp.ok() || !checkPart(isp, dataEnd, /*echoOn=*/true)) return;
    if (beforeErase) {
        handshakeStep(isp, "", "A 0", kHandshakeAnswer);
        state.echoOff = isp.ok();
        if (!isp.ok() || !beforeErase(isp)) return;
    }
    handshakeStep(isp, "Prepare Flash Erase", sectorCommand('P', state), kHandshakeAnswer);
    handshakeStep(isp, "Flash Erase", sectorCommand('E', state),
                  kHandshakeAnswer + kEraseTimePerSector * (state.lastSector + 1));
    if (!state.echoOff) {
        handshakeStep(isp, "", "A 0", kHandshakeAnswer);
        state.echoOff = isp.ok();
    }
}

// Writes one copy: the block to the RAM buffer in UU lines with their checksums, then prepare and copy.
// Every answer waits on a deadline of its own.
void writeCopy(IspConversation& isp, const FlashContent& content, const CopyChunk& chunk) {
    std::array<std::uint8_t, kBlockLimit + 2> area;
    fillChunk(content, chunk, area);
    const std::int64_t linesBefore = isp.state().dataLinesSent;
    const std::int64_t bytesBefore = isp.state().dataBytesSent;

    isp.sendUnchecked("W " + std::to_string(kIspRamBuffer) + " " + std::to_string(chunk.size));
    isp.armForAnswer(kAnswerTime);
    isp.await("", IspReplyKind::ReturnCode);

    int lineCounter = 1;
    std::int32_t checksum = 0;
    for (std::size_t offset = 0; offset < chunk.size && isp.ok();) {
        // Covers a write held back (XOFF, a full output buffer) while the lines before it drain.
        isp.armForAnswer(kAnswerTime, static_cast<std::int64_t>(kUuMaxLineLength));
        const std::size_t count = std::min<std::size_t>(kUuMaxBytes, chunk.size - offset);
        if (!isp.sendUuLine(std::span<const std::uint8_t>(area).subspan(offset), count, checksum)) return;
        if (lineCounter == kUuLinesPerChecksum) {
            isp.sendUnchecked(std::to_string(checksum));
            isp.armForAnswer(kAnswerTime);
            isp.await("", IspReplyKind::OkOrResend);
            lineCounter = 1;
            checksum = 0;
        } else {
            ++lineCounter;
        }
        offset += count;
    }
    if (isp.ok() && lineCounter != 1) {
        isp.sendUnchecked(std::to_string(checksum));
        isp.armForAnswer(kAnswerTime);
        isp.await("", IspReplyKind::OkOrResend);
    }
    if (isp.ok()) {
        isp.sendUnchecked(sectorCommand('P', isp.state()));
        isp.armForAnswer(kAnswerTime);
        isp.await("", IspReplyKind::ReturnCode);
    }
    if (isp.ok()) {
        const bool vectors = chunk.address == 0;
        isp.state().vectorCopySent = isp.state().vectorCopySent || vectors;
        isp.sendUnchecked("C " + std::to_string(chunk.address) + " " + std::to_string(kIspRamBuffer) + " " +
                          std::to_string(chunk.size));
        isp.armForAnswer(kAnswerTime + kCopyTimePer256 * (chunk.size / 256));
        const IspReplyStatus status = isp.await("", IspReplyKind::ReturnCode);
        if (status == IspReplyStatus::Success) {
            isp.state().dataLinesConfirmed += isp.state().dataLinesSent - linesBefore;
            isp.state().dataBytesConfirmed += isp.state().dataBytesSent - bytesBefore;
            isp.state().vectorCopyDone = isp.state().vectorCopyDone || vectors;
        }
        // A refused copy copied nothing; only a missing answer leaves it open whether it ran.
        if (vectors && status == IspReplyStatus::Failure) isp.state().vectorCopySent = false;
    }
}

// Reads the file record by record and writes the copies of every block, except the copy that holds the
// vector table (flash address 0): that one is handed back in vectorCopy, to be written after all others.
// The progress bar follows the read position (short of 100 % while the vector table is still to come).
void transfer(jobs::JobContext& context, IspConversation& isp, HexImage& image, const FlashContent& content,
              std::int32_t& word, std::vector<CopyChunk>& programmed, std::optional<CopyChunk>& vectorCopy,
              jobs::ProgressShown& progress) {
    output::OutputLog& log = context.link.log;
    IspTransferPlan plan(image, isp.state().flashEnd);
    while (isp.ok() && !plan.atEnd()) {
        const IspTransferPlan::Step step = plan.next(word);
        if (step.page) {
            log.addLine(pageLine(*step.page));
            log.refresh();
        }
        for (const CopyChunk& chunk : step.copies) {
            if (!isp.ok()) break;
            if (chunk.address == 0) {
                vectorCopy = chunk;
                continue;
            }
            writeCopy(isp, content, chunk);
            programmed.push_back(chunk);
        }
        const int percent = percentOf(image.position(), image.size());
        progress.show(vectorCopy ? std::min(percent, 99) : percent);
    }
}

// The vector table's copy, written once every other copy has been written and confirmed (and, with
// verify, read back and found as sent), then read back itself; the comparison is reported once for all.
void finishTransfer(IspConversation& isp, const FlashContent& content, std::vector<CopyChunk>& programmed,
                    const std::optional<CopyChunk>& vectorCopy, bool verify, jobs::ProgressShown& progress) {
    if (!isp.ok()) return;
    std::optional<FlashComparison> comparison;
    if (verify) {
        comparison.emplace(isp, content);
        if (!comparison->compare(programmed)) return;
    }
    if (vectorCopy && !(comparison && comparison->differs())) {
        writeCopy(isp, content, *vectorCopy);
        programmed.push_back(*vectorCopy);
        if (isp.ok()) progress.show(100);
        if (comparison && isp.ok() && !comparison->compare({*vectorCopy})) return;
    }
    if (comparison && (isp.ok() || comparison->differs())) comparison->report();
}

jobs::JobOutcome runIspDownload(jobs::JobContext& context, std::int32_t word, const IspOptions& options,
                                IspJobState& state) {
    state = IspJobState{};
    state.portWasOpen = context.link.port.isOpen();
    HexImage image(context.file);
    RecordArea scratch{};
    const PreparedFile file = loadAndCheck(context, image, scratch, word, /*showBytesRead=*/false,
                                           /*useAddLine=*/true);
    if (!file.loaded) return {word, {}};

    // What the file would program is known before the boot loader is touched: a file that cannot be
    // programmed whole is refused before anything is erased.
    FlashContent content;
    if (word == 0) {
        std::string refusal;
        if (content.build(image, scratch) == FlashContent::Result::TooMuchData)
            refusal = tooMuchDataLine();
        else if (content.lineCount() == 0)
            refusal = noFlashDataLine();
        else if (content.dataEnd() > kUserFlashEnd)
            refusal = outsideFlashLine(content.dataEnd());
        if (!refusal.empty()) {
            word |= output::result::kCheckFailed;
            context.link.log.addLine(refusal);
            context.link.log.refresh();
        }
    }
    IspConversation isp(context.link, word, state);
    std::function<bool(IspConversation&)> beforeErase;
    if (!options.backupPath.empty())
        beforeErase = [&options, &state](IspConversation& conversation) {
            return saveFlash(conversation, 0, state.flashEnd, options.backupPath, "Flash");
        };
    if (word == 0) handshake(isp, state, options.baud, content.dataEnd(), beforeErase);
    state.fileHoldsVectors = content.holdsVectorTable();
    std::vector<CopyChunk> programmed;
    std::optional<CopyChunk> vectorCopy;
    jobs::ProgressShown progress(context.view);
    transfer(context, isp, image, content, word, programmed, vectorCopy, progress);
    finishTransfer(isp, content, programmed, vectorCopy, options.verify, progress);
    jobs::JobOutcome outcome{.word = word,
                             .bytesSent = state.dataBytesSent,
                             .unitsSent = state.dataLinesSent,
                             .bytesConfirmed = state.dataBytesConfirmed,
                             .unitsConfirmed = state.dataLinesConfirmed};
    if (state.baud != serial::comSettings(serial::kBootLoaderEntry).baud)
        outcome.lineSettings = ispSettingsText(state.baud);
    return outcome;
}

// The vector table in the flash once it was erased: invalid until its copy (the last) is confirmed, and
// for good when the file has none; unknown while that copy's answer is missing.
enum class VectorTable { Invalid, Unconfirmed, Valid };

VectorTable vectorTableOf(const IspJobState& state) {
    if (!state.fileHoldsVectors || !state.vectorCopySent) return VectorTable::Invalid;
    return state.vectorCopyDone ? VectorTable::Valid : VectorTable::Unconfirmed;
}

// What the chip starts at its next reset after a job that failed once the flash was erased.
std::string afterCutLine(const IspJobState& state) {
    switch (vectorTableOf(state)) {
        case VectorTable::Invalid:
            return bootLoaderStartsLine();
        case VectorTable::Unconfirmed:
            return vectorsUnconfirmedLine();
        case VectorTable::Valid:
            break;
    }
    return firmwareStartsLine();
}

// Starts the target's code; its answer's failure joins the report. Not after a failure that came once the
// flash may have been erased: it then holds only part of the image.
void startTargetCode(jobs::JobContext& context, jobs::JobOutcome& outcome, IspJobState& state) {
    // A job that never reached the boot loader (a refused file, a port that did not open) leaves it alone.
    if (!state.handshakeRan) return;
    if (state.erased && outcome.word != 0) {
        context.link.log.addLine(notStartedLine());
        context.link.log.addLine(afterCutLine(state));
        context.link.log.refresh();
        return;
    }
    IspConversation isp(context.link, outcome.word, state);
    isp.sendUnchecked(kGo);
    isp.armForAnswer(kAnswerTime, 16);
    // Unless the boot loader has confirmed that its echo is off, the command may come back first.
    isp.await(state.echoOff ? std::string_view{} : kGo, IspReplyKind::ReturnCode);
}

// Shows what the target sent meanwhile (the started firmware's first words) and returns the port to the
// selected COM settings entry.
void showTargetOutput(jobs::JobContext& context, const jobs::JobOutcome&) {
    readIspReply(context.link, {}, IspReplyKind::Drain);
    context.link.port.configure(context.inputs.settingsEntry);
}

}  // namespace

std::string noFlashDataLine() {
    return "Fehler: Datei enthält keine Daten für den Flash (nur übersprungene Seiten)";
}

std::string outsideFlashLine(std::uint64_t dataEnd) {
    return fmt::format("Fehler: Daten bis 0x{:08X}, der Flash endet bei 0x{:08X}", dataEnd - 1,
                       kUserFlashEnd - 1);
}

std::string notStartedLine() {
    return "Flash nach dem Löschen nicht vollständig geschrieben: Programm wird nicht gestartet";
}

std::string bootLoaderStartsLine() {
    return "Vektortabelle nicht geschrieben: der Chip startet beim nächsten Reset seinen Bootloader, das "
           "Update kann wiederholt werden";
}

std::string vectorsUnconfirmedLine() {
    return "Vektortabelle gesendet, aber nicht bestätigt: der Chip startet beim nächsten Reset die neue "
           "Firmware oder seinen Bootloader; das Update wiederholen";
}

std::string firmwareStartsLine() {
    return "Vektortabelle geschrieben: der Chip startet beim nächsten Reset die geschriebene Firmware";
}

std::string ispDeviceNote(const IspJobState& state) {
    if (!state.handshakeRan) return "nothing was sent to the boot loader";
    if (!state.erased) return "nothing was erased; the boot loader is left as the last command put it";
    switch (vectorTableOf(state)) {
        case VectorTable::Invalid:
            return "the flash is erased and partly written, its vector table not: the chip starts its boot "
                   "loader at its next reset and the update can be repeated";
        case VectorTable::Unconfirmed:
            return "every block but the vector table was written and its copy not confirmed: at its next "
                   "reset the chip starts the new firmware or its boot loader; repeat the update";
        case VectorTable::Valid:
            break;
    }
    return "the vector table is written: the chip starts the written firmware at its next reset";
}

std::string tooMuchDataLine() {
    return "Fehler: Datei belegt mehr als " + std::to_string(FlashContent::kMaxLines * kFlashLine / 1024) +
           " KiB Flash";
}

jobs::JobDefinition ispDownloadJob(IspOptions options) {
    auto state = std::make_shared<IspJobState>();
    return {jobs::JobKind::BootLoader,
            [options, state](jobs::JobContext& context, std::int32_t word) {
                return runIspDownload(context, word, options, *state);
            },
            [state](jobs::JobContext& context, jobs::JobOutcome& outcome) {
                startTargetCode(context, outcome, *state);
            },
            showTargetOutput, [state] { return ispDeviceNote(*state); }};
}

}  // namespace hlx::firmware
