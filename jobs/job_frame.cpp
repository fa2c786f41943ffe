#include "jobs/job_frame.h"

#include <exception>

#include "base/text_codec.h"
#include "output/job_result.h"
#include "serial/port_name.h"

namespace hlx::jobs {
namespace {

// What the frame has done of its closing steps, so that a step that throws does not repeat them.
struct FrameSteps {
    bool finished = false;  // the slot is marked finished
    bool pollRestarted = false;
};

// Steps 3 and 4 of the frame: report, closing steps, idle poll, finished.
std::optional<std::int32_t> closeFrame(const JobDefinition& job, JobContext& context, JobSlot& slot,
                                       JobOutcome& outcome, FrameSteps& steps, JobOutcome* finalOutcome) {
    const JobTraits& traits = job.traits();
    output::OutputLog& log = context.link.log;
    const std::stop_token& stop = context.link.stop;
    if (job.beforeReport) job.beforeReport(context, outcome);
    const std::int32_t reported =
        traits.noSuccessLine ? (outcome.word | output::result::kNoSuccessLine) : outcome.word;
    log.report(reported);
    for (const std::string& line : outcome.failureLines) {
        log.appendLine(line);
        log.refresh();
    }
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
        steps.finished = true;
        context.view.setIdlePollEnabled(true);
        steps.pollRestarted = true;
    } else {
        context.view.setIdlePollEnabled(true);
        steps.pollRestarted = true;
        slot.markFinished();
        steps.finished = true;
    }
    return reported;
}

std::optional<std::int32_t> runSteps(const JobDefinition& job, JobContext& context, JobSlot& slot,
                                     FrameSteps& steps, JobOutcome* finalOutcome) {
    const JobTraits& traits = job.traits();
    serial::Link& link = context.link;
    output::OutputLog& log = link.log;
    const std::stop_token& stop = link.stop;

    context.view.setIdlePollEnabled(false);
    if (traits.clearsWindow) {
        log.clear();
        if (traits.refreshAfterClear) log.refresh();
    }
    const int entry = traits.fixedEntry >= 0 ? traits.fixedEntry : context.inputs.settingsEntry;
    const std::string device = serial::portDevicePath(base::to8Bit(context.inputs.comText));
    const bool opened = link.port.open(device, entry, true);
    // Settings are only tried on a port that opened: one that did not has that failure alone.
    const bool configured = opened && link.port.configure(entry);
    std::int32_t word = 0;
    if (!opened) word |= output::result::kOpen;
    if (opened && !configured && traits.recordsConfigureBit) word |= output::result::kConfigure;

    JobOutcome outcome = job.body(context, word);
    if (finalOutcome) *finalOutcome = outcome;
    if (stop.stop_requested()) return std::nullopt;
    // The device went away during the job: whatever the steps saw, the transfer did not complete. The step
    // that could not finish has set its bit (0x10 write, 0x20 reply) unless it was a closing read.
    if (const serial::PortState port = link.port.state(); port.lost() && outcome.completeBeforeLoss) {
        log.appendLine(closedByMonitorLine(port.device));
        log.refresh();
    } else if (port.lost()) {
        if ((outcome.word & (output::result::kShortWrite | output::result::kTimeout)) == 0)
            outcome.word |= output::result::kTimeout;
        log.appendLine(connectionLostLine(port.device));
        log.refresh();
    }
    return closeFrame(job, context, slot, outcome, steps, finalOutcome);
}

// After an exception: the line with its reason and the report, then what the frame had not done yet of
// restarting the idle poll and marking the slot finished. Each step on its own, so one that throws again
// does not keep the slot Running.
std::optional<std::int32_t> abandonJob(const JobDefinition& job, JobContext& context, JobSlot& slot,
                                       const FrameSteps& steps, std::string_view reason,
                                       JobOutcome* finalOutcome) {
    if (context.link.stop.stop_requested()) return std::nullopt;
    const JobTraits& traits = job.traits();
    std::int32_t reported = output::result::kJobAborted;
    if (traits.noSuccessLine) reported |= output::result::kNoSuccessLine;
    if (finalOutcome) finalOutcome->word = reported;
    if (!steps.finished) {
        try {
            output::OutputLog& log = context.link.log;
            log.appendLine(jobAbortedLine(reason));
            log.report(reported);
            if (traits.caretToEnd) log.caretToEnd();
        } catch (...) {
        }
    }
    if (!steps.pollRestarted) {
        try {
            context.view.setIdlePollEnabled(true);
        } catch (...) {
        }
    }
    if (!steps.finished) slot.markFinished();
    return reported;
}

}  // namespace

std::string connectionLostLine(std::string_view device) {
    return "Fehler: Verbindung zum COM Port verloren (" + std::string(device) + ")";
}

std::string closedByMonitorLine(std::string_view device) {
    return "Monitor hat die Verbindung beendet (" + std::string(device) + ")";
}

std::string jobAbortedLine(std::string_view reason) {
    return "Fehler: Job abgebrochen, unerwarteter Fehler (" + std::string(reason) + ")";
}

std::optional<std::int32_t> runJobFrame(const JobDefinition& job, JobContext& context, JobSlot& slot,
                                        JobOutcome* finalOutcome) {
    // Wakes the port so a wait of the job ends at once when the window closes.
    std::stop_callback wakeOnStop(context.link.stop, [&link = context.link] { link.port.wake(); });
    FrameSteps steps;
    try {
        return runSteps(job, context, slot, steps, finalOutcome);
    } catch (const std::exception& e) {
        return abandonJob(job, context, slot, steps, e.what(), finalOutcome);
    } catch (...) {
        return abandonJob(job, context, slot, steps, "unbekannte Ausnahme", finalOutcome);
    }
}

}  // namespace hlx::jobs
