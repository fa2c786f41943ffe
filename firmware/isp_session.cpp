#include "firmware/isp_session.h"

#include <charconv>
#include <chrono>

#include <fmt/format.h>

#include "output/job_result.h"
#include "serial/com_settings.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;
using serial::Milliseconds;

constexpr Milliseconds kSyncDeadline = 5000ms;
constexpr Milliseconds kSyncAttempt = 400ms;
constexpr Milliseconds kHandshakeAnswer = 2000ms;
constexpr Milliseconds kQueryAnswer = 500ms;

void show(serial::Link& link, const std::string& line) {
    link.log.addLine(line);
    link.log.refresh();
}

// Sends "?" until the boot loader answers "Synchronized" or the handshake deadline passes; each attempt
// waits kSyncAttempt. An answer that arrives after the next "?" went out is still taken.
void sendSynchronisation(IspConversation& isp) {
    serial::Link& link = isp.link();
    // On the reply deadline's clock, so that the handshake's time is the one every other wait keeps.
    const base::Clock& clock = link.replyDeadline.clock();
    const auto until = clock.now() + kSyncDeadline;
    for (;;) {
        if (!isp.sendByte('?')) return;
        const auto left = std::chrono::ceil<Milliseconds>(until - clock.now());
        if (left <= kSyncAttempt) {
            isp.arm(std::max(left, Milliseconds{0}));
            isp.await("", IspReplyKind::Synchronisation);
            return;
        }
        isp.arm(kSyncAttempt);
        const IspReplyStatus status = readIspReply(link, {}, IspReplyKind::Synchronisation);
        if (status == IspReplyStatus::Success) {
            isp.state().unanswered = 0;
            return;
        }
        if (status != IspReplyStatus::TimedOut) {  // the port went away or the job is stopped
            isp.await("", IspReplyKind::Synchronisation);
            return;
        }
    }
}

// Asks the synchronised boot loader (echo still on) for another rate and moves our side with it: the part
// changes from the byte after its answer, so ours changes as soon as the answer is in.
void changeRate(IspConversation& isp, int baud) {
    serial::Link& link = isp.link();
    const std::string command = "B " + std::to_string(baud) + " 1";
    show(link, "Setting Baud Rate " + std::to_string(baud));
    if (!isp.sendLine(command)) return;
    isp.armForAnswer(kHandshakeAnswer, static_cast<std::int64_t>(command.size()) + 8);
    std::string answer;
    if (isp.awaitAnswer(command, IspReplyKind::ReturnCode, answer) == IspReplyStatus::Success) {
        // The boot loader talks at the new rate now; a line left at the old one would hear nothing.
        if (!link.port.configureLine({baud, 8, serial::Parity::None, 1}))
            isp.record(output::result::kConfigure);
        else
            isp.state().baud = baud;
    } else if (isp.ok()) {  // refused: both stay where they were
        const std::string code = answer.substr(0, answer.find_first_not_of("0123456789"));
        show(link, "Baud Rate " + std::to_string(baud) + " refused (return code " + code + "), staying at " +
                       std::to_string(serial::comSettings(serial::kBootLoaderEntry).baud));
    }
}

struct Step {
    std::string_view line;
    std::string_view sent;
};

}  // namespace

void synchronise(IspConversation& isp, int baud) {
    serial::Link& link = isp.link();
    const int starting = serial::comSettings(serial::kBootLoaderEntry).baud;
    isp.state().baud = starting;
    isp.arm(kSyncDeadline);
    int lines = 0;
    serial::readReply(link, serial::ReplyMode::Drain, 0, lines);
    if (!isp.ok()) return;
    isp.state().handshakeRan = true;
    show(link, "Sending Synchronisation Character 0x3F");
    sendSynchronisation(isp);
    constexpr Step kSteps[] = {{"Sending Synchronisation Confimation", "Synchronized"},
                               {"Sending Crystal Frequency", "25000"}};
    for (const Step& step : kSteps) {
        if (!isp.ok()) return;
        show(link, std::string(step.line));
        if (!isp.sendLine(step.sent)) return;
        isp.armForAnswer(kHandshakeAnswer, static_cast<std::int64_t>(step.sent.size()) + 8);
        isp.await(step.sent, IspReplyKind::OkOrResend);
    }
    if (isp.ok() && baud != 0 && baud != starting) changeRate(isp, baud);
}

std::optional<std::vector<std::uint32_t>> queryNumbers(IspConversation& isp, std::string_view command,
                                                       int count, bool echoOn) {
    if (!isp.ok()) return std::nullopt;
    if (!isp.sendLine(command)) return std::nullopt;
    isp.armForAnswer(kQueryAnswer, static_cast<std::int64_t>(command.size()) + 2 + 5 + 12 * count);
    if (isp.await(echoOn ? command : std::string_view{}, IspReplyKind::ReturnCode) != IspReplyStatus::Success)
        return std::nullopt;
    std::vector<std::uint32_t> numbers;
    std::string line;
    for (int i = 0; i < count; ++i) {
        if (!isp.readLine(line)) return std::nullopt;
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
        if (error != std::errc{} || end != line.data() + line.size()) {
            isp.record(output::result::kErrorByte);
            return std::nullopt;
        }
        numbers.push_back(value);
    }
    return numbers;
}

std::string partLine(std::uint32_t id) {
    const auto part = findLpcPart(id);
    if (!part) return "Part: " + partText(id);
    return fmt::format("Part: {}, {} KiB Flash", partText(id), part->userFlash / 1024);
}

std::string unknownPartLine(std::uint32_t id) {
    return fmt::format("Fehler: Unbekanntes Bauteil ({}): nichts wird gelöscht", partText(id));
}

std::string otherFamilyLine(std::uint32_t id) {
    return fmt::format(
        "Fehler: {} gehört nicht zur Familie LPC23xx/LPC24xx (andere Sektoren): nichts wird gelöscht",
        partText(id));
}

std::string partTooSmallLine(std::uint32_t id, std::uint64_t dataEnd, std::uint64_t flashEnd) {
    if (flashEnd == 0) return fmt::format("Fehler: {} hat keinen Flash: nichts wird gelöscht", partText(id));
    return fmt::format(
        "Fehler: Daten bis 0x{:08X}, der Flash des {} endet bei 0x{:08X}: nichts wird gelöscht", dataEnd - 1,
        partText(id), flashEnd - 1);
}

bool checkPart(IspConversation& isp, std::uint64_t dataEnd, bool echoOn) {
    serial::Link& link = isp.link();
    if (!isp.ok()) return false;
    show(link, "Read Part ID");
    const auto numbers = queryNumbers(isp, "J", 1, echoOn);
    if (!numbers) return false;
    const std::uint32_t id = numbers->front();
    show(link, partLine(id));
    const auto part = findLpcPart(id);
    std::string refusal;
    if (!part)
        refusal = unknownPartLine(id);
    else if (part->family != LpcFamily::Lpc23xx24xx)
        refusal = otherFamilyLine(id);
    else if (part->userFlash == 0 || dataEnd > part->userFlash)
        refusal = partTooSmallLine(id, dataEnd, part->userFlash);
    if (!refusal.empty()) {
        show(link, refusal);
        isp.record(output::result::kErrorByte);
        return false;
    }
    isp.state().flashEnd = part->userFlash;
    isp.state().lastSector = familySectorOf(part->userFlash - 1);
    return true;
}

std::string ispSettingsText(int baud) {
    return std::to_string(baud) + ",8,N,1";
}

}  // namespace hlx::firmware
