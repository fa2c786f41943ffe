#include "terminal/file_sender.h"

#include <algorithm>
#include <string>
#include <vector>

#include "jobs/job_file.h"
#include "jobs/job_progress.h"
#include "output/job_result.h"
#include "terminal/sender_write.h"

namespace hlx::terminal {
namespace {

using serial::ReplyMode;

bool isTextByte(std::uint8_t b) {
    return b == 0x09 || b == 0x0A || b == 0x0D || (b >= 0x20 && b <= 0x7F);
}

// The length of the line that starts at position: up to and including its LF, or to the end of the file.
std::int32_t lineLength(std::string_view bytes, std::int32_t position) {
    const std::size_t lf = bytes.find('\n', static_cast<std::size_t>(position));
    const std::size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
    return static_cast<std::int32_t>(end) - position;
}

// What went out so far: every byte the port took (frame bytes included), the file's own bytes among them,
// and the lines (or frames) sent and answered.
struct Tally {
    std::int64_t bytesSent = 0;
    std::int64_t fileBytesSent = 0;
    int repliesExpected = 0;
    int repliesSeen = 0;
    std::int64_t chunksSent = 0;  // chunks (or frames) that went out whole
    // Of those, what the monitor answered line for line without an error byte.
    std::int64_t bytesConfirmed = 0;
    std::int64_t chunksConfirmed = 0;
};

// Writes the chunk at the buffer's send position and moves the position past it; the tally grows by what
// the port took. Returns the bit of a write that did not go out whole (failedWriteBit), or 0.
std::int32_t sendChunk(serial::Link& link, base::FileBuffer& file, const Chunk& chunk, bool text,
                       Tally& tally) {
    const std::uint8_t* data = file.data() + file.position();
    file.setPosition(file.position() + chunk.length);
    auto write = [&](const std::uint8_t* bytes, std::int32_t count, bool ofFile) -> std::int32_t {
        if (serial::writeBytes(link, {bytes, static_cast<std::size_t>(count)})) {
            tally.bytesSent += count;
            if (ofFile) tally.fileBytesSent += count;
            return 0;
        }
        return failedWriteBit(link);
    };
    if (!text) {
        const std::uint8_t frameLength = static_cast<std::uint8_t>(chunk.length + 1);
        if (const std::int32_t failed = write(&frameLength, 1, false)) return failed;
        return write(data, chunk.length, true);
    }
    for (std::int32_t done = 0; done < chunk.length; done += kLongLinePiece)
        if (const std::int32_t failed =
                write(data + done, std::min(kLongLinePiece, chunk.length - done), true))
            return failed;
    return 0;
}

// The line that says a transfer did not complete: not all of the file went out, or not every line (frame)
// that went out was answered. Nothing when both are whole.
std::vector<std::string> shortfallLines(const Tally& tally, std::int64_t fileSize, bool text) {
    if (tally.fileBytesSent < fileSize)
        return {"Fehler: nur " + std::to_string(tally.fileBytesSent) + " von " + std::to_string(fileSize) +
                " Bytes übertragen"};
    if (tally.repliesSeen < tally.repliesExpected)
        return {"Fehler: nur " + std::to_string(tally.repliesSeen) + " von " +
                std::to_string(tally.repliesExpected) + (text ? " Zeilen" : " Blöcken") + " beantwortet"};
    return {};
}

}  // namespace

bool isTextFile(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return isTextByte(static_cast<std::uint8_t>(c)); });
}

Chunk nextChunk(std::string_view bytes, std::int32_t position, bool text) {
    const auto size = static_cast<std::int32_t>(bytes.size());
    if (!text) return {std::min(kChunkLimit, size - position), 1};
    Chunk chunk{lineLength(bytes, position), 1};
    if (chunk.length >= kChunkLimit) return chunk;  // an overlong line goes alone, in pieces
    while (position + chunk.length < size) {
        const std::int32_t next = lineLength(bytes, position + chunk.length);
        if (chunk.length + next >= kChunkLimit) break;
        chunk.length += next;
        ++chunk.replies;
    }
    return chunk;
}

int sendPercent(std::int64_t position, std::int64_t size) {
    if (size <= 0) return 0;
    return static_cast<int>(position * 100 / size);
}

jobs::JobOutcome runFileSender(jobs::JobContext& context, std::int32_t word) {
    serial::Link& link = context.link;
    output::OutputLog& log = link.log;
    base::FileBuffer& file = context.file;
    Tally tally;
    auto bytesSentLine = [&tally] { return std::to_string(tally.bytesSent) + std::string(kBytesSentSuffix); };

    const base::Status loaded = file.load(jobs::filePathFromEdit(context.inputs.filePath));
    if (!loaded) {
        // Reported as the downloads report their file: a bare "0 Bytes übertragen" would read as done.
        word |= output::result::kFileOpen;
        if (loaded.isTooLarge()) {
            log.appendLine(jobs::tooLargeLine(file.lastFileSize()));
            log.refresh();
        }
        context.view.setProgress(0);
        return {.word = word, .closingLine = bytesSentLine(), .bytesConfirmed = 0, .unitsConfirmed = 0};
    }
    log.appendLine(context.inputs.filePath + std::string(kOpenedSuffix));
    log.refresh();
    log.appendLine(std::to_string(file.size()) + std::string(kBytesReadSuffix));
    log.refresh();
    if (word != 0) {
        // The port did not open (or refused its settings): that is the failure, and nothing is tried.
        context.view.setProgress(0);
        return {.word = word, .closingLine = bytesSentLine(), .bytesConfirmed = 0, .unitsConfirmed = 0};
    }
    const bool text = isTextFile(file.bytes());
    log.appendLine(text ? kSendingText : kSendingBinary);
    log.refresh();
    context.view.setProgressRange(0, 100);
    context.view.setProgress(0);
    int lines = 0;
    serial::readReply(link, ReplyMode::Drain, 0, lines);

    jobs::ProgressShown progress(context.view);
    link.replyDeadline.arm(kFirstReplyWindow);
    while (word == 0 && !file.atEnd() && !link.replyDeadline.expired() && !link.stop.stop_requested()) {
        const Chunk chunk = nextChunk(file.bytes(), file.position(), text);
        const std::int64_t bytesBefore = tally.bytesSent;
        if (const std::int32_t failed = sendChunk(link, file, chunk, text, tally)) {
            word = failed;
        } else {
            tally.repliesExpected += chunk.replies;
            ++tally.chunksSent;
            int seen = 0;
            const bool noError = serial::readReply(link, ReplyMode::Lines, chunk.replies, seen);
            tally.repliesSeen += std::min(seen, chunk.replies);
            if (noError && seen >= chunk.replies) {
                tally.bytesConfirmed += tally.bytesSent - bytesBefore;
                ++tally.chunksConfirmed;
            }
            if (!noError) word = output::result::kSenderError;
            // No answer at all, or the deadline passed with lines of the chunk unanswered: what the monitor
            // did not confirm may not have arrived, so the transfer has failed.
            if (seen == 0 || (noError && seen < chunk.replies && !link.stop.stop_requested()))
                word = output::result::kTimeout;
        }
        progress.show(sendPercent(file.position(), file.size()));
    }
    if (link.stop.stop_requested())
        return {.word = word,
                .bytesSent = tally.bytesSent,
                .unitsSent = tally.chunksSent,
                .bytesConfirmed = tally.bytesConfirmed,
                .unitsConfirmed = tally.chunksConfirmed};
    if (file.size() > 0) progress.show(sendPercent(file.position(), file.size()));

    if (word == 0) {
        link.replyDeadline.arm(kClosingWindow);
        serial::readReply(link, ReplyMode::Lines, kClosingLines, lines);
    } else {
        context.view.setProgress(0);
    }
    return {.word = word,
            .closingLine = bytesSentLine(),
            .failureLines = shortfallLines(tally, file.size(), text),
            .bytesSent = tally.bytesSent,
            .unitsSent = tally.chunksSent,
            .bytesConfirmed = tally.bytesConfirmed,
            .unitsConfirmed = tally.chunksConfirmed};
}

jobs::JobDefinition fileSenderJob() {
    return {jobs::JobKind::FileSender, runFileSender, {}, {}};
}

}  // namespace hlx::terminal
