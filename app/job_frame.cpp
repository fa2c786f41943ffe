#include "app/job_frame.h"

#include "firmware/realterm_download.h"
#include "firmware/rtq_download.h"
#include "serial/port_name.h"
#include "terminal/job_result.h"
#include "terminal/text_codec.h"

namespace hlx::app {

std::optional<std::int32_t> runJobFrame(JobKind kind, const JobBody& body, JobContext& context, JobSlot& slot) {
    const JobTraits& traits = traitsOf(kind);
    serial::Link& link = context.link;
    OutputLog& log = link.log;
    const std::stop_token& stop = link.stop;
    // Wakes the port so a wait of the job ends at once when the window closes.
    std::stop_callback wakeOnStop(stop, [&link] { link.port.wake(); });

    context.view.setIdlePollEnabled(false);
    if (traits.clearsWindow) {
        log.clear();
        if (traits.refreshAfterClear) log.refresh();
    }
    const int entry = traits.fixedEntry >= 0 ? traits.fixedEntry : context.inputs.settingsEntry;
    const std::string device = serial::portDevicePath(text::to8Bit(context.inputs.comText));
    const bool opened = link.port.open(device, entry, true);
    const bool configured = link.port.configure(entry);
    std::int32_t word = 0;
    if (traits.recordsPortBits) {
        if (!opened) word |= result::kOpen;
        if (!configured) word |= result::kConfigure;
    }

    JobOutcome outcome = body(context, word);
    if (stop.stop_requested()) return std::nullopt;

    const std::int32_t reported = traits.noSuccessLine ? (outcome.word | result::kNoSuccessLine) : outcome.word;
    log.report(reported);
    if (!outcome.closingLine.empty()) {
        log.appendLine(outcome.closingLine);
        log.refresh();
    }
    if (traits.caretToEnd) log.caretToEnd();
    if (kind == JobKind::BootLoader) link.port.configure(context.inputs.settingsEntry);
    if (stop.stop_requested()) return std::nullopt;

    if (traits.finishedBeforePoll) {
        slot.markFinished();
        context.view.setIdlePollEnabled(true);
    } else {
        context.view.setIdlePollEnabled(true);
        slot.markFinished();
    }
    return reported;
}

JobBody jobBodyFor(JobKind kind) {
    switch (kind) {
        case JobKind::RtqDownload: return firmware::runRtqDownload;
        case JobKind::RealtermDownload: return firmware::runRealtermDownload;
        default: return {};
    }
}

}  // namespace hlx::app
