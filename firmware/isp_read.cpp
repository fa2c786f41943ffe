#include "firmware/isp_read.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <fmt/format.h>

#include "base/atomic_file.h"
#include "firmware/isp_parts.h"
#include "firmware/isp_session.h"
#include "firmware/isp_verify.h"
#include "output/job_result.h"
#include "serial/com_settings.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;

constexpr serial::Milliseconds kAnswerTime = 2000ms;
constexpr std::size_t kHexRecordBytes = 16;

void show(serial::Link& link, const std::string& line) {
    link.log.addLine(line);
    link.log.refresh();
}

std::string hexRecord(std::uint16_t offset, std::uint8_t type, std::span<const std::uint8_t> data) {
    std::uint32_t sum = static_cast<std::uint32_t>(data.size()) + (offset >> 8) + (offset & 0xFF) + type;
    std::string line = fmt::format(":{:02X}{:04X}{:02X}", data.size(), offset, type);
    for (std::uint8_t b : data) {
        line += fmt::format("{:02X}", b);
        sum += b;
    }
    line += fmt::format("{:02X}\r\n", static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    return line;
}

// Synchronises, turns the echo off and reads the part id; nothing when that fails.
std::optional<std::uint32_t> openSession(IspConversation& isp, int baud) {
    synchronise(isp, baud);
    if (!isp.ok()) return std::nullopt;
    if (!isp.sendLine("A 0")) return std::nullopt;
    isp.armForAnswer(kAnswerTime, 8);
    if (isp.await("A 0", IspReplyKind::ReturnCode) != IspReplyStatus::Success) return std::nullopt;
    isp.state().echoOff = true;
    const auto id = queryNumbers(isp, "J", 1, /*echoOn=*/false);
    if (!id) return std::nullopt;
    show(isp.link(), partLine(id->front()));
    return id->front();
}

jobs::JobOutcome outcomeOf(std::int32_t word, const IspJobState& state) {
    jobs::JobOutcome outcome{.word = word};
    if (state.baud != serial::comSettings(serial::kBootLoaderEntry).baud)
        outcome.lineSettings = ispSettingsText(state.baud);
    return outcome;
}

jobs::JobOutcome runIspRead(jobs::JobContext& context, std::int32_t word, const IspReadOptions& options) {
    IspJobState state;
    state.portWasOpen = context.link.port.isOpen();
    IspConversation isp(context.link, word, state);
    if (word != 0) return outcomeOf(word, state);
    const auto id = openSession(isp, options.baud);
    if (!id) return outcomeOf(word, state);
    const auto part = findLpcPart(*id);
    const std::uint64_t flashEnd = part ? part->userFlash : 0;
    const std::uint64_t end = options.length ? options.start + *options.length : flashEnd;
    if (!part || part->family != LpcFamily::Lpc23xx24xx) {
        show(context.link, part ? otherFamilyLine(*id) : unknownPartLine(*id));
        isp.record(output::result::kErrorByte);
        return outcomeOf(word, state);
    }
    if (end > flashEnd || options.start >= end) {
        show(context.link,
             flashEnd == 0
                 ? partTooSmallLine(*id, end, 0)
                 : fmt::format("Fehler: 0x{:08X} bis 0x{:08X} liegt nicht im Flash des {} (bis 0x{:08X})",
                               options.start, std::max(end, options.start + 1) - 1, partText(*id),
                               flashEnd - 1));
        isp.record(output::result::kCheckFailed);
        return outcomeOf(word, state);
    }
    saveFlash(isp, options.start, end, options.out, "Flash");
    return outcomeOf(word, state);
}

jobs::JobOutcome runIspInfo(jobs::JobContext& context, std::int32_t word, int baud) {
    IspJobState state;
    state.portWasOpen = context.link.port.isOpen();
    IspConversation isp(context.link, word, state);
    if (word != 0) return outcomeOf(word, state);
    if (!openSession(isp, baud)) return outcomeOf(word, state);
    if (const auto version = queryNumbers(isp, "K", 2, false))
        show(context.link, fmt::format("Boot code version: {}.{}", (*version)[1], (*version)[0]));
    if (const auto serial = queryNumbers(isp, "N", 4, false))
        show(context.link, fmt::format("Serial number: {:08X} {:08X} {:08X} {:08X}", (*serial)[0],
                                       (*serial)[1], (*serial)[2], (*serial)[3]));
    return outcomeOf(word, state);
}

}  // namespace

std::string readProtectedLine() {
    return "Fehler: Der Code des Bauteils ist gegen Auslesen geschützt (CRP): keine Sicherung möglich";
}

std::string bootVectorsLeftOutLine() {
    return "0x00000000 bis 0x0000003F nicht gelesen: dort liest der Bootloader seine eigenen Vektoren";
}

std::string intelHexOf(std::uint64_t address, std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() / kHexRecordBytes * 44 + 64);
    std::optional<std::uint64_t> upper;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint64_t at = address + done;
        if (!upper || *upper != at >> 16) {
            upper = at >> 16;
            const std::uint8_t page[2] = {static_cast<std::uint8_t>(*upper >> 8),
                                          static_cast<std::uint8_t>(*upper)};
            text += hexRecord(0, 4, page);
        }
        // A record never crosses a 64 KiB page.
        const std::size_t toPage = static_cast<std::size_t>(0x10000 - (at & 0xFFFF));
        const std::size_t n = std::min({kHexRecordBytes, bytes.size() - done, toPage});
        text += hexRecord(static_cast<std::uint16_t>(at & 0xFFFF), 0, bytes.subspan(done, n));
        done += n;
    }
    text += ":00000001FF\r\n";
    return text;
}

std::uint64_t intelHexSize(std::uint64_t address, std::uint64_t length) {
    constexpr std::uint64_t kPageRecord = 17;  // ":02000004PPPPCC" CR LF
    constexpr std::uint64_t kEndRecord = 13;   // ":00000001FF" CR LF
    std::uint64_t size = kEndRecord;
    for (std::uint64_t done = 0; done < length;) {
        const std::uint64_t at = address + done;
        const std::uint64_t n = std::min(length - done, 0x10000 - (at & 0xFFFF));
        // Whole records take 11 + 2 * 16 + 2 characters, the last one of a page 11 + 2 * its bytes + 2.
        size += kPageRecord + n / kHexRecordBytes * (13 + 2 * kHexRecordBytes);
        if (const std::uint64_t rest = n % kHexRecordBytes; rest != 0) size += 13 + 2 * rest;
        done += n;
    }
    return size;
}

std::uint64_t readFileSize(std::uint64_t start, std::optional<std::uint64_t> length) {
    const std::uint64_t end = length ? start + *length : familySectorStart(kFamilySectors);
    const std::uint64_t begin = std::max<std::uint64_t>(start, kBootVectorsEnd);
    return intelHexSize(begin, end > begin ? end - begin : 0);
}

bool saveFlash(IspConversation& isp, std::uint64_t begin, std::uint64_t end, const std::string& path,
               std::string_view what) {
    serial::Link& link = isp.link();
    if (begin < kBootVectorsEnd) {
        show(link, bootVectorsLeftOutLine());
        begin = std::min<std::uint64_t>(kBootVectorsEnd, end);
    }
    // The file is made before anything is read: a folder that takes no file fails at once.
    base::FileReplacement file(path, 0644);
    if (!file.status().isOk()) {
        show(link, fmt::format("Fehler: {} nicht geschrieben: {}", path, file.status().message()));
        isp.record(output::result::kSenderError);
        return false;
    }
    show(link, fmt::format("Lese {} 0x{:08X} bis 0x{:08X}", what, begin, end - 1));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(end - begin));
    for (std::uint64_t at = begin; at < end && isp.ok();) {
        // A sector at a time: the boot loader's answers stay small, and a refusal comes early.
        const std::uint64_t sectorEnd = familySectorStart(familySectorOf(at) + 1);
        const std::uint64_t stop = std::min(end, sectorEnd > at ? sectorEnd : end);
        int refusal = 0;
        const std::span<std::uint8_t> out(bytes.data() + (at - begin), static_cast<std::size_t>(stop - at));
        if (!readBack(isp, at, out, &refusal)) {
            if (refusal == kCodeReadProtected)
                show(link, readProtectedLine());
            else if (!isp.stopped())
                show(link, fmt::format("Fehler: Flash ab 0x{:08X} nicht lesbar", at));
            return false;
        }
        at = stop;
    }
    if (!isp.ok()) return false;
    const base::Status written = file.commit(intelHexOf(begin, bytes));
    if (!written.isOk()) {
        show(link, fmt::format("Fehler: {} nicht geschrieben: {}", path, written.message()));
        isp.record(output::result::kSenderError);
        return false;
    }
    show(link, fmt::format("{} 0x{:08X} bis 0x{:08X} in {} gesichert", what, begin, end - 1, path));
    return true;
}

jobs::JobDefinition ispReadJob(IspReadOptions options) {
    return {jobs::JobKind::IspRead,
            [options](jobs::JobContext& context, std::int32_t word) {
                return runIspRead(context, word, options);
            },
            {},
            {}};
}

jobs::JobDefinition ispInfoJob(int baud) {
    return {jobs::JobKind::IspInfo,
            [baud](jobs::JobContext& context, std::int32_t word) { return runIspInfo(context, word, baud); },
            {},
            {}};
}

}  // namespace hlx::firmware
