#include "firmware/isp_download.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "firmware/download_common.h"
#include "firmware/hex_image.h"
#include "firmware/isp_blocks.h"
#include "firmware/isp_conversation.h"
#include "firmware/isp_verify.h"
#include "firmware/uu_encode.h"
#include "jobs/job_progress.h"
#include "output/job_result.h"
#include "serial/com_settings.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;
using serial::Milliseconds;

constexpr std::string_view kPrepareAll = "P 0 27";
constexpr std::string_view kErase = "E 0 27";
constexpr std::string_view kGo = "G 0 A";
constexpr Milliseconds kSyncDeadline = 5000ms;
constexpr Milliseconds kBlockDeadline = 500ms;
constexpr Milliseconds kGoDeadline = 500ms;

struct HandshakeStep {
    std::string_view line;  // appended to the window first; empty: none
    std::string_view sent;  // empty: the single byte "?"
    Milliseconds deadline;  // armed after sending; 0: the one armed before
    std::string_view echo;
    IspReplyKind kind;
};

constexpr std::array<HandshakeStep, 7> kHandshake{{
    {"Sending Synchronisation Character 0x3F", "", 0ms, "", IspReplyKind::Synchronisation},
    {"Sending Synchronisation Confimation", "Synchronized", 2000ms, "Synchronized", IspReplyKind::OkOrResend},
    {"Sending Crystal Frequency", "25000", 2000ms, "25000", IspReplyKind::OkOrResend},
    {"Unlock", "U 23130", 2000ms, "U 23130", IspReplyKind::ReturnCode},
    {"Prepare Flash Erase", kPrepareAll, 2000ms, kPrepareAll, IspReplyKind::ReturnCode},
    {"Flash Erase", kErase, 5000ms, kErase, IspReplyKind::ReturnCode},
    {"", "A 0", 2000ms, "A 0", IspReplyKind::ReturnCode},
}};
// The synchronisation ends with the crystal frequency's answer; a change of rate comes right after it.
constexpr std::size_t kUnlockStep = 3;
constexpr Milliseconds kRateDeadline = 2000ms;

std::string pageLine(std::uint16_t page) {
    std::string line = fmt::format("Page: 0x{:04x}", page);
    if (upperAddressOf(page) >= kSkippedPagesFrom) line += " (Skipped)";
    return line;
}

int percentOf(std::int32_t position, std::int32_t size) {
    return size <= 0 ? 0 : static_cast<int>(static_cast<std::int64_t>(position) * 100 / size);
}

// Asks the synchronised boot loader (echo still on) for another rate and moves our side with it: the part
// changes from the byte after its answer, so ours changes as soon as the answer is in.
void changeRate(IspConversation& isp, int baud) {
    serial::Link& link = isp.link();
    const std::string command = "B " + std::to_string(baud) + " 1";
    link.log.addLine("Setting Baud Rate " + std::to_string(baud));
    link.log.refresh();
    if (!isp.sendLine(command)) return;
    isp.arm(kRateDeadline);
    std::string answer;
    if (isp.awaitAnswer(command, IspReplyKind::ReturnCode, answer) == IspReplyStatus::Success) {
        // The boot loader talks at the new rate now; a line left at the old one would hear nothing.
        if (!link.port.configureLine({baud, 8, serial::Parity::None, 1}))
            isp.record(output::result::kConfigure);
    } else if (isp.ok()) {  // refused: both stay where they were
        const std::string code = answer.substr(0, answer.find_first_not_of("0123456789"));
        link.log.addLine("Baud Rate " + std::to_string(baud) + " refused (return code " + code +
                         "), staying at " +
                         std::to_string(serial::comSettings(serial::kBootLoaderEntry).baud));
        link.log.refresh();
    }
}

void handshake(IspConversation& isp, IspJobState& state, int baud) {
    serial::Link& link = isp.link();
    isp.arm(kSyncDeadline);
    int lines = 0;
    serial::readReply(link, serial::ReplyMode::Drain, 0, lines);
    const bool newRate = baud != 0 && baud != serial::comSettings(serial::kBootLoaderEntry).baud;
    for (std::size_t i = 0; i < kHandshake.size(); ++i) {
        const HandshakeStep& step = kHandshake[i];
        if (newRate && i == kUnlockStep && isp.ok()) changeRate(isp, baud);
        if (!isp.ok()) return;
        if (!step.line.empty()) {
            link.log.addLine(step.line);
            link.log.refresh();
        }
        const bool sent = step.sent.empty() ? isp.sendByte('?') : isp.sendLine(step.sent);
        if (!sent) return;  // nothing to wait for: the command did not go out
        if (step.deadline > 0ms) isp.arm(step.deadline);
        const IspReplyStatus status = isp.await(step.echo, step.kind);
        // Unless the boot loader refused it, the erase may have run, even when its answer is missing.
        if (step.sent == kErase) state.erased = status != IspReplyStatus::Failure;
    }
    state.echoOff = isp.ok();
}

// Writes one copy: the block to the RAM buffer in UU lines with their checksums, then prepare and copy.
void writeCopy(IspConversation& isp, const FlashContent& content, const CopyChunk& chunk) {
    std::array<std::uint8_t, kBlockLimit + 2> area;
    fillChunk(content, chunk, area);

    isp.arm(kBlockDeadline);
    isp.sendUnchecked("W " + std::to_string(kIspRamBuffer) + " " + std::to_string(chunk.size));
    isp.await("", IspReplyKind::ReturnCode);

    int lineCounter = 1;
    std::int32_t checksum = 0;
    for (std::size_t offset = 0; offset < chunk.size && isp.ok();) {
        isp.arm(kBlockDeadline);
        const std::size_t count = std::min<std::size_t>(kUuMaxBytes, chunk.size - offset);
        if (!isp.sendUuLine(std::span<const std::uint8_t>(area).subspan(offset), count, checksum)) return;
        if (lineCounter == kUuLinesPerChecksum) {
            isp.sendUnchecked(std::to_string(checksum));
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
        isp.await("", IspReplyKind::OkOrResend);
    }
    if (isp.ok()) {
        isp.sendUnchecked(kPrepareAll);
        isp.await("", IspReplyKind::ReturnCode);
    }
    if (isp.ok()) {
        isp.sendUnchecked("C " + std::to_string(chunk.address) + " " + std::to_string(kIspRamBuffer) + " " +
                          std::to_string(chunk.size));
        isp.await("", IspReplyKind::ReturnCode);
    }
}

// Reads the file record by record and writes the copies of every block; the progress bar follows the
// read position.
void transfer(jobs::JobContext& context, IspConversation& isp, HexImage& image, const FlashContent& content,
              std::int32_t& word, std::vector<CopyChunk>& programmed) {
    output::OutputLog& log = context.link.log;
    IspTransferPlan plan(image);
    jobs::ProgressShown progress(context.view);
    while (isp.ok() && !plan.atEnd()) {
        const IspTransferPlan::Step step = plan.next(word);
        if (step.page) {
            log.addLine(pageLine(*step.page));
            log.refresh();
        }
        for (const CopyChunk& chunk : step.copies) {
            if (!isp.ok()) break;
            writeCopy(isp, content, chunk);
            programmed.push_back(chunk);
        }
        progress.show(percentOf(image.position(), image.size()));
    }
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
    if (word == 0) handshake(isp, state, options.baud);
    std::vector<CopyChunk> programmed;
    transfer(context, isp, image, content, word, programmed);
    if (options.verify && isp.ok()) verifyProgrammed(isp, content, programmed);
    return {.word = word, .bytesSent = state.dataBytesSent, .unitsSent = state.dataLinesSent};
}

// Starts the target's code; its answer's failure joins the report. Not after a failure that came once the
// flash may have been erased: sector 0 may then hold valid vectors in front of a half-written image.
void startTargetCode(jobs::JobContext& context, jobs::JobOutcome& outcome, IspJobState& state) {
    if (state.erased && outcome.word != 0) {
        context.link.log.addLine(notStartedLine());
        context.link.log.refresh();
        return;
    }
    IspConversation isp(context.link, outcome.word, state);
    isp.arm(kGoDeadline);
    isp.sendUnchecked(kGo);
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
            showTargetOutput};
}

}  // namespace hlx::firmware
