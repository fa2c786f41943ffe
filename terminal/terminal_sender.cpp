#include "terminal/terminal_sender.h"

#include "base/text_codec.h"
#include "output/job_result.h"
#include "terminal/sender_write.h"

namespace hlx::terminal {

std::vector<std::string> terminalLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        std::size_t end = lf;
        if (end > start && text[end - 1] == '\r') --end;
        lines.emplace_back(text.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

jobs::JobOutcome runTerminalSender(jobs::JobContext& context, std::int32_t word) {
    serial::Link& link = context.link;
    output::OutputLog& log = link.log;
    const std::vector<std::string> lines = terminalLines(context.inputs.windowText);
    // A port that did not open is the job's failure, also with nothing to send; no line is tried.
    if (word != 0) return {.word = word, .bytesConfirmed = 0, .unitsConfirmed = 0};
    if (lines.empty()) return {.bytesConfirmed = 0, .unitsConfirmed = 0};

    context.view.setProgressRange(0, static_cast<int>(lines.size()));
    context.view.setProgress(0);
    link.replyDeadline.arm(kTerminalSendArm);
    std::string dropped;
    serial::readAvailable(link, dropped, kDrainCap);

    std::int64_t bytesSent = 0;
    std::int64_t linesSent = 0;
    std::int64_t bytesConfirmed = 0;  // of lines answered without an error byte
    std::int64_t linesConfirmed = 0;
    for (std::size_t i = 0; i < lines.size() && word == 0 && !link.stop.stop_requested(); ++i) {
        context.view.setProgress(static_cast<int>(i + 1));
        const bool sent = serial::sendLine(link, lines[i]);
        const std::int32_t failed = sent ? 0 : failedWriteBit(link);
        const auto lineBytes = static_cast<std::int64_t>(base::to8Bit(lines[i]).size()) + 2;  // and CR LF
        if (sent) {
            bytesSent += lineBytes;
            ++linesSent;
        }
        log.appendText(lines[i] + " ");
        if (failed) {
            word = failed;
        } else {
            link.replyDeadline.arm(kLineAnswerWindow);
            int seen = 0;
            const bool noError = serial::readReply(link, serial::ReplyMode::Lines, 1, seen);
            if (!noError) word = output::result::kSenderError;
            if (seen == 0) word = output::result::kTimeout;
            if (noError && seen > 0) {
                bytesConfirmed += lineBytes;
                ++linesConfirmed;
            }
        }
        log.refresh();
    }
    return {.word = word,
            .bytesSent = bytesSent,
            .unitsSent = linesSent,
            .bytesConfirmed = bytesConfirmed,
            .unitsConfirmed = linesConfirmed};
}

jobs::JobDefinition terminalSenderJob() {
    return {jobs::JobKind::TerminalSender, runTerminalSender, {}, {}};
}

}  // namespace hlx::terminal
