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

jobs::JobOutcome runTerminalSender(jobs::JobContext& context, std::int32_t) {
    serial::Link& link = context.link;
    output::OutputLog& log = link.log;
    const std::vector<std::string> lines = terminalLines(context.inputs.windowText);
    if (lines.empty()) return {};

    context.view.setProgressRange(0, static_cast<int>(lines.size()));
    context.view.setProgress(0);
    link.replyDeadline.arm(kTerminalSendArm);
    std::string dropped;
    serial::readAvailable(link, dropped, kDrainCap);

    std::int32_t word = 0;
    std::int64_t bytesSent = 0;
    std::int64_t linesSent = 0;
    for (std::size_t i = 0; i < lines.size() && word == 0 && !link.stop.stop_requested(); ++i) {
        context.view.setProgress(static_cast<int>(i + 1));
        const bool sent = serial::sendLine(link, lines[i]);
        const std::int32_t failed = sent ? 0 : failedWriteBit(link);
        if (sent) {
            bytesSent += static_cast<std::int64_t>(base::to8Bit(lines[i]).size()) + 2;  // and CR LF
            ++linesSent;
        }
        log.appendText(lines[i] + " ");
        if (failed) {
            word = failed;
        } else {
            link.replyDeadline.arm(kLineAnswerWindow);
            int seen = 0;
            if (!serial::readReply(link, serial::ReplyMode::Lines, 1, seen))
                word = output::result::kSenderError;
            if (seen == 0) word = output::result::kTimeout;
        }
        log.refresh();
    }
    return {.word = word, .bytesSent = bytesSent, .unitsSent = linesSent};
}

jobs::JobDefinition terminalSenderJob() {
    return {jobs::JobKind::TerminalSender, runTerminalSender, {}, {}};
}

}  // namespace hlx::terminal
