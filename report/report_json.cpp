#include "report/report_json.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace hlx::report {
namespace {

using Json = nlohmann::ordered_json;

Json textOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

Json fileJson(const std::optional<FileFacts>& file) {
    if (!file) return nullptr;
    Json json;
    json["path"] = file->path;
    json["size"] = file->size;
    json["sha256"] = file->sha256;
    json["image_sha256"] = file->imageSha256 ? Json(*file->imageSha256) : Json(nullptr);
    return json;
}

Json jobJson(const JobRecord& job) {
    Json json;
    json["port"] = job.port.port;
    json["device"] = job.port.device;
    json["by_id"] = textOrNull(job.port.byId);
    json["usb_serial"] = textOrNull(job.port.usbSerial);
    json["settings"] = {{"entry", job.settingsEntry}, {"text", job.settingsText}};
    json["start_utc"] = utcText(job.start);
    json["end_utc"] = utcText(job.end);
    // Milliseconds are what the clock gives; more digits would only be noise.
    json["duration_s"] = std::round(job.durationSeconds * 1000.0) / 1000.0;
    json["bytes_sent"] = job.bytesSent;
    json[job.sentUnit == SentUnit::Records ? "records_sent" : "lines_sent"] = job.unitsSent;
    json["bytes_confirmed"] = job.bytesConfirmed ? Json(*job.bytesConfirmed) : Json(nullptr);
    json[job.sentUnit == SentUnit::Records ? "records_confirmed" : "lines_confirmed"] =
        job.unitsConfirmed ? Json(*job.unitsConfirmed) : Json(nullptr);
    json["result_word"] = job.resultWord;
    Json failures = Json::array();
    for (const Failure& failure : job.failures())
        failures.push_back({{"bit", failure.bit}, {"name", failure.name}, {"message", failure.message}});
    json["failures"] = std::move(failures);
    json["success"] = job.success();
    json["stopped"] = job.stopped;
    json["lines"] = job.lines;
    return json;
}

}  // namespace

std::string toJson(const RunReport& report, JsonLayout layout) {
    Json json;
    json["format"] = kFormatName;
    json["format_version"] = kFormatVersion;
    json["tool"] = {{"name", report.tool.name}, {"version", report.tool.version}};
    json["method"] = report.method;
    json["file"] = fileJson(report.file);
    json["success"] = report.success();
    Json jobs = Json::array();
    for (const JobRecord& job : report.jobs) jobs.push_back(jobJson(job));
    json["jobs"] = std::move(jobs);
    // Not ASCII-escaped (the German lines stay readable); broken UTF-8 replaced rather than thrown.
    if (layout == JsonLayout::OneLine) return json.dump(-1, ' ', false, Json::error_handler_t::replace);
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace hlx::report
