#include "runner/job_records.h"

#include <cstdio>

#include "base/file_system.h"
#include "base/text_codec.h"
#include "base/version.h"
#include "firmware/hex_info.h"
#include "firmware/sha256.h"
#include "output/job_result.h"
#include "serial/com_settings.h"
#include "serial/port_list.h"
#include "serial/port_name.h"

namespace hlx::runner {
namespace {

std::string settingsText(int entry) {
    if (entry >= 0 && entry < static_cast<int>(serial::kComSettings.size()))
        return std::string(serial::kComSettings[static_cast<std::size_t>(entry)].text);
    const serial::LineSettings& line = serial::kFallbackSettings;
    char text[32];
    std::snprintf(text, sizeof text, "%d,%d,%c,%d", line.baud, line.dataBits,
                  line.parity == serial::Parity::None ? 'N' : 'E', line.stopBits);
    return text;
}

// A by-id or by-path link resolved to the device it names.
std::string resolved(const std::string& path) {
    return base::systemFileSystem().resolveLink(path);
}

}  // namespace

std::string_view methodName(jobs::JobKind kind) {
    return jobs::traitsOf(kind).method;
}

report::ToolFacts toolFacts(std::string name) {
    return {std::move(name), base::kVersion};
}

report::FileFacts fileFacts(const std::string& pathAsTyped, std::string_view bytes, bool firmware) {
    report::FileFacts facts{pathAsTyped, static_cast<std::int64_t>(bytes.size()),
                            firmware::Sha256::hex(firmware::Sha256::of(bytes)), std::nullopt};
    if (firmware) facts.imageSha256 = firmware::Sha256::hex(firmware::analyseHex(bytes).imageSha256);
    return facts;
}

report::PortFacts portFacts(const std::string& typed, const std::string& device) {
    report::PortFacts facts{typed, device, {}, {}};
    if (device.empty()) return facts;
    const std::string real = resolved(device);
    for (const serial::PortInfo& info : serial::listSerialPorts()) {
        // Windows lists a port as COM5 and opens it as \\.\COM5: compared as the device it opens.
        if (info.device != real && info.byId != device && serial::portDevicePath(info.device) != device)
            continue;
        facts.byId = info.byId;
        facts.usbSerial = info.usbSerial;
        break;
    }
    return facts;
}

std::optional<std::int32_t> runRecordedJob(const jobs::JobDefinition& job, jobs::JobContext& context,
                                           jobs::JobSlot& slot, const ShownText& shown,
                                           const KeepRecord& keep) {
    const std::uint64_t loadsBefore = context.file.loads();
    const auto wallStart = std::chrono::system_clock::now();
    const auto steadyStart = std::chrono::steady_clock::now();
    bool kept = false;
    auto record = [&](const jobs::JobOutcome& outcome, bool stopped) {
        RecordedJob recorded;
        report::JobRecord& r = recorded.record;
        const jobs::JobInputs& inputs = context.inputs;
        const serial::PortState port = context.link.port.state();
        const std::string device =
            port.device.empty() ? serial::portDevicePath(base::to8Bit(inputs.comText)) : port.device;
        r.port = portFacts(inputs.comText, device);
        const int fixed = jobs::traitsOf(job.kind).fixedEntry;
        r.settingsEntry = fixed >= 0 ? fixed : inputs.settingsEntry;
        r.settingsText = settingsText(r.settingsEntry);
        r.start = wallStart;
        r.end = std::chrono::system_clock::now();
        r.durationSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - steadyStart).count();
        r.bytesSent = outcome.bytesSent;
        r.sentUnit = job.traits().sendsRecords ? report::SentUnit::Records : report::SentUnit::Lines;
        r.unitsSent = outcome.unitsSent;
        r.resultWord = outcome.word;
        r.stopped = stopped;
        r.lines = report::splitLines(shown());
        if (!inputs.prepared && context.file.loads() != loadsBefore && job.traits().readsFile)
            recorded.file = fileFacts(inputs.filePath, context.file.bytes(), job.traits().firmware);
        kept = true;
        keep(std::move(recorded));
    };

    jobs::JobDefinition recorded = job;
    recorded.afterReport = [&record, after = job.afterReport, kind = job.kind](
                               jobs::JobContext& c, const jobs::JobOutcome& outcome) {
        if (after) after(c, outcome);
        if (c.link.stop.stop_requested()) return;  // the frame ends as stopped; recorded below
        jobs::JobOutcome reported = outcome;
        if (jobs::traitsOf(kind).noSuccessLine) reported.word |= output::result::kNoSuccessLine;
        record(reported, false);
    };
    jobs::JobOutcome outcome;
    const std::optional<std::int32_t> word = jobs::runJobFrame(recorded, context, slot, &outcome);
    if (!kept) record(outcome, !word.has_value());
    return word;
}

report::RunReport runOf(std::string toolName, jobs::JobKind kind, RecordedJob job) {
    report::RunReport run;
    run.tool = toolFacts(std::move(toolName));
    run.method = methodName(kind);
    run.file = std::move(job.file);
    run.jobs.push_back(std::move(job.record));
    return run;
}

}  // namespace hlx::runner
