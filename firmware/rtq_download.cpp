#include "firmware/rtq_download.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "firmware/download_common.h"
#include "firmware/hex_image.h"
#include "jobs/job_progress.h"
#include "output/job_result.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;
using serial::ReplyMode;

std::uint16_t recordAddress(const std::uint8_t* record) {
    return static_cast<std::uint16_t>((record[1] << 8) | record[2]);
}

std::uint8_t intelChecksum(const std::uint8_t* bytes, int count) {
    std::uint8_t sum = 0;
    for (int i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return static_cast<std::uint8_t>(-sum);
}

// Decodes the next record into send and joins the data records that follow on, as long as the joined
// count stays below 250. Leaves the image at the first record not joined. Returns the length to send.
int nextSendRecord(HexImage& image, RecordArea& send, RecordArea& ahead, std::int32_t& word) {
    int length = 0;
    word |= image.readRecord(send, length);
    if (length <= 3 || send[3] != kDataRecord) return length;

    // Compared as plain numbers: a run that would pass 0xFFFF ends there, so no byte is written 64 KiB
    // away from the address its record gives.
    const int base = recordAddress(send.data());
    int total = send[0];
    for (;;) {
        const std::int32_t remembered = image.position();
        int aheadLength = 0;
        word |= image.readRecord(ahead, aheadLength);
        const int count = ahead[0];
        const bool joins = ahead[3] == kDataRecord && aheadLength > 3 &&
                           recordAddress(ahead.data()) == base + total && total + count < kMaxJoinedBytes + 1;
        if (!joins) {
            image.setPosition(remembered);
            break;
        }
        std::memcpy(&send[4 + total], &ahead[4], static_cast<std::size_t>(count));
        total += count;
        send[0] = static_cast<std::uint8_t>(total);
    }
    send[4 + total] = intelChecksum(send.data(), 4 + total);
    return total + 5;
}

}  // namespace

jobs::JobOutcome runRtqDownload(jobs::JobContext& context, std::int32_t word) {
    serial::Link& link = context.link;
    output::OutputLog& log = link.log;
    HexImage image(context.file);
    RecordArea send{};
    RecordArea ahead{};  // as large as the send record, so no record of the file can overrun it
    std::int64_t bytesSent = 0;
    std::int64_t recordsSent = 0;
    std::int64_t bytesConfirmed = 0;  // of records the monitor answered with a reply line, no error byte
    std::int64_t recordsConfirmed = 0;

    const PreparedFile file = loadAndCheck(context, image, send, word, /*showBytesRead=*/true);
    if (file.loaded) {
        if (word == 0) {
            int lines = 0;
            serial::readReply(link, ReplyMode::Drain, 0, lines);
            serial::sendLine(link, "LoadFWRTQ?");
            link.replyDeadline.arm(serial::kLineRearm);
            // A monitor that refuses the command gets no record.
            if (!serial::readReply(link, ReplyMode::Lines, 1, lines)) word |= output::result::kErrorByte;
            if (link.replyDeadline.expired()) word |= output::result::kTimeout;
        }
    }

    // Armed once; from here on only the reply reader moves it, 1500 ms past every line end or XON.
    link.replyDeadline.arm(serial::kLineRearm);
    jobs::ProgressShown progress(context.view);
    while (word == 0 && !image.atEnd() && !link.stop.stop_requested()) {
        const int length = nextSendRecord(image, send, ahead, word);
        if (length > 3) {
            if (send[3] == kExtendedLinearAddressRecord) {
                log.appendLine(pageLine(send.data()));
                log.refresh();
            }
            // Only a record that went out whole counts as sent: the count line must not claim more.
            const bool whole = serial::writeBytes(link, {send.data(), static_cast<std::size_t>(length)});
            if (whole) {
                bytesSent += length;
                ++recordsSent;
            } else {
                word |= serial::writeFailure(link);
            }
            int lines = 0;
            const bool noError = serial::readReply(link, ReplyMode::Lines, 1, lines);
            if (!noError) word |= output::result::kErrorByte;
            if (link.replyDeadline.expired()) word |= output::result::kTimeout;
            if (whole && noError && lines > 0) {
                bytesConfirmed += length;
                ++recordsConfirmed;
            }
        }
        progress.show(roundedPercent(image.position(), image.size()));
    }
    if (link.stop.stop_requested())
        return {.word = word,
                .bytesSent = bytesSent,
                .unitsSent = recordsSent,
                .bytesConfirmed = bytesConfirmed,
                .unitsConfirmed = recordsConfirmed};

    jobs::JobOutcome outcome;
    if (word == 0) {
        // Every record is acknowledged; an error byte among the closing lines (the flash write failed)
        // is still the job's failure. Without one, a monitor that leaves the bus now (it restarts) is no
        // failure.
        readClosingLines(link, word);
        outcome.completeBeforeLoss = word == 0;
    }
    context.view.setProgress(0);
    outcome.word = word;
    outcome.closingLine = std::to_string(bytesSent) + " Bytes übertragen";
    outcome.bytesSent = bytesSent;
    outcome.unitsSent = recordsSent;
    outcome.bytesConfirmed = bytesConfirmed;
    outcome.unitsConfirmed = recordsConfirmed;
    return outcome;
}

jobs::JobDefinition rtqDownloadJob() {
    return {jobs::JobKind::RtqDownload, runRtqDownload, {}, {}};
}

}  // namespace hlx::firmware
