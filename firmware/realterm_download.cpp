#include "firmware/realterm_download.h"

#include "firmware/download_common.h"
#include "firmware/hex_image.h"
#include "jobs/job_progress.h"
#include "output/job_result.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;
using serial::ReplyMode;

constexpr serial::Milliseconds kLineDeadline = 5000ms;

// After the last line: the monitor may still answer it, with an error byte while it writes its flash, and
// it sends its closing lines; they are read as the binary download reads them (readClosingLines), an
// error byte there being a failure like any other (0x40). A flow still held at the end is a time-out
// (0x20). Returns whether a line end arrived (the monitor confirmed the end of the download).
bool settleAfterLastLine(serial::Link& link, std::int32_t& word) {
    const bool confirmed = readClosingLines(link, word);
    if (word == 0 && serial::flowHeld(link) && link.port.isOpen() && !link.stop.stop_requested())
        word |= output::result::kTimeout;
    return confirmed;
}

// The records that go out as lines (a decoded length above 3), so that the job knows its last line.
int countLines(HexImage& image, RecordArea& record) {
    int count = 0;
    while (!image.atEnd()) {
        int length = 0;
        image.readRecord(record, length);
        if (length > 3) ++count;
    }
    image.setPosition(0);
    return count;
}

}  // namespace

bool writeHexLine(serial::Link& link, std::span<const std::uint8_t> record) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    // ":" + two digits per byte + CR LF; the longest record (260 bytes) gives 523 characters.
    std::array<std::uint8_t, 2 * 512 + 3> line;
    std::size_t n = 0;
    line[n++] = ':';
    for (std::uint8_t b : record.first(std::min(record.size(), std::size_t{512}))) {
        line[n++] = static_cast<std::uint8_t>(kDigits[b >> 4]);
        line[n++] = static_cast<std::uint8_t>(kDigits[b & 0x0F]);
    }
    line[n++] = '\r';
    line[n++] = '\n';
    return serial::writeBytes(link, {line.data(), n});
}

jobs::JobOutcome runRealtermDownload(jobs::JobContext& context, std::int32_t word) {
    serial::Link& link = context.link;
    output::OutputLog& log = link.log;
    HexImage image(context.file);
    RecordArea record{};

    const PreparedFile file =
        loadAndCheck(context, image, record, word, /*showBytesRead=*/false, /*useAddLine=*/true);
    if (file.loaded && word == 0) {
        link.replyDeadline.arm(kLineDeadline);
        int lines = 0;
        serial::readReply(link, ReplyMode::Drain, 0, lines);
        log.addLine("Starte Download");
        log.refresh();
        serial::sendLine(link, "LoadFW?");
        // A monitor that refuses the command gets no line.
        if (!serial::readReply(link, ReplyMode::Lines, 1, lines)) word |= output::result::kErrorByte;
        if (link.replyDeadline.expired()) word |= output::result::kTimeout;
    }

    bool firstPass = true;
    bool sent = false;
    const int lineCount = word == 0 ? countLines(image, record) : 0;
    int lineNumber = 0;
    std::int64_t bytesSent = 0;
    std::int64_t linesSent = 0;
    jobs::ProgressShown progress(context.view);
    while (word == 0 && !image.atEnd() && !link.stop.stop_requested()) {
        int length = 0;
        word |= image.readRecord(record, length);
        if (length > 3) {
            if (record[3] == kExtendedLinearAddressRecord) log.addLine(pageLine(record.data()));
            if (writeHexLine(link, {record.data(), static_cast<std::size_t>(length)})) {
                sent = true;
                bytesSent += 2 * length + 3;  // ":", two digits a byte, CR LF
                ++linesSent;
            } else {
                word |= serial::writeFailure(link);
            }
            link.replyDeadline.arm(kLineDeadline);
            int lines = 0;
            // The first line goes out with no pause after it; from the second on, the monitor paces us. The
            // last one is followed by the settling read below.
            const bool lastLine = ++lineNumber >= lineCount;
            if (!firstPass && !lastLine) {
                if (!serial::readReply(link, ReplyMode::FlowWait, 1, lines))
                    word |= output::result::kErrorByte;
                // Held by XOFF until the deadline passed: the monitor is stuck; sending on would only fill
                // it. (A pass that ended on a line end with XOFF behind it is not that: the next write waits
                // for the XON, up to the deadline.)
                if (serial::flowHeld(link) && link.replyDeadline.expired()) word |= output::result::kTimeout;
            }
        }
        progress.show(truncatedPercent(image.position(), image.size()));
        firstPass = false;
    }
    jobs::JobOutcome outcome;
    // The monitor confirmed the end with its closing lines: if it leaves the bus now (it restarts), that
    // is no failure.
    if (word == 0 && sent && !link.stop.stop_requested())
        outcome.completeBeforeLoss = settleAfterLastLine(link, word);
    outcome.word = word;
    outcome.bytesSent = bytesSent;
    outcome.unitsSent = linesSent;
    // The monitor answers no line by itself: it confirms them all with its closing lines (or none).
    const bool allConfirmed = outcome.completeBeforeLoss && outcome.word == 0;
    outcome.bytesConfirmed = allConfirmed ? bytesSent : 0;
    outcome.unitsConfirmed = allConfirmed ? linesSent : 0;
    return outcome;
}

jobs::JobDefinition realtermDownloadJob() {
    return {jobs::JobKind::RealtermDownload, runRealtermDownload, {}, {}};
}

}  // namespace hlx::firmware
