#include "jobs/job_frame.h"

#include "base/text_codec.h"
#include "output/job_result.h"
#include "serial/port_name.h"

namespace hlx::jobs {

std::string connectionLostLine(std::string_view device) {
    return "Fehler: Verbindung zum COM Port verloren (" + std::string(device) + ")";
}

std::optional<std::int32_t> runJobFrame(const JobDefinition& job, JobContext& context, JobSlot& slot,
                                        JobOutcome* finalOutcome) {
    const JobTraits& traits = job.traits();
    serial::Link& link = context.link;
    output::OutputLog& log = link.log;
    const std::stop_token& stop = link.stop;
    // Wakes the port so a wait of the job ends at once when the window closes.
    std::stop_callback wakeOnStop(stop, [&link] { link.port.wake(); });

    context.view.setIdlePollEnabled(false);
    if (traits.clearsWindow) {
        log.clear();
        if (traits.refreshAfterClear) log.refresh();
    }
    const int entry = traits.fixedEntry >= 0 ? traits.fixedEntry : context.inputs.settingsEntry;
    const std::string device = serial::portDevicePath(base::to8Bit(context.inputs.comText));
    const bool opened = link.port.open(device, entry, true);
    const bool configured = link.port.configure(entry);
    std::int32_t word = 0;
    if (traits.recordsPortBits) {
        if (!opened) word |= output::result::kOpen;
        if (!configured) word |= output::result::kConfigure;
    }

    JobOutcome outcome = job.body(context, word);
    if (finalOutcome) *finalOutcome = outcome;
    if (stop.stop_requested()) return std::nullopt;
    // The device went away during the job: whatever the steps saw, the transfer did not complete. The step
    // that could not finish has set its bit (0x10 write, 0x20 reply) unless it was a closing read.
    if (const serial::PortState port = link.port.state(); port.lost) {
        if ((outcome.word & (output::result::kShortWrite | output::result::kTimeout)) == 0)
            outcome.word |= output::result::kTimeout;
        log.appendLine(connectionLostLine(port.device));
        log.refresh();
    }

    if (job.beforeReport) job.beforeReport(context, outcome);
    const std::int32_t reported =
        traits.noSuccessLine ? (outcome.word | output::result::kNoSuccessLine) : outcome.word;
    log.report(reported);
    if (!outcome.closingLine.empty()) {
        log.appendLine(outcome.closingLine);
        log.refresh();
    }
    if (job.afterReport) job.afterReport(context, outcome);
    if (finalOutcome) {
        *finalOutcome = outcome;
        finalOutcome->word = reported;
    }
    if (traits.caretToEnd) log.caretToEnd();
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

}  // namespace hlx::jobs
