#include "report/job_record.h"

#include <time.h>

#include <array>
#include <cstdio>

#include <fmt/format.h>

#include "output/job_result.h"

namespace hlx::report {
namespace {

struct FailureName {
    std::int32_t bit;
    std::string_view name;
};

// Every failure bit of the result word, in the order of its value. 0x1000 is no failure (it only keeps
// the success line away) and has no entry.
constexpr std::array<FailureName, 11> kFailureNames{{
    {output::result::kSenderError, "sender-error-reply"},
    {output::result::kLineEnd, "hex-unexpected-line-end"},
    {output::result::kBadCharacter, "hex-unexpected-character"},
    {output::result::kLineStart, "hex-wrong-line-start"},
    {output::result::kShortWrite, "short-write"},
    {output::result::kTimeout, "timeout"},
    {output::result::kErrorByte, "error-reply"},
    {output::result::kFileOpen, "file-cannot-be-opened"},
    {output::result::kCheckFailed, "file-check-failed"},
    {output::result::kConfigure, "port-settings-refused"},
    {output::result::kOpen, "port-cannot-be-opened"},
}};

std::string messageOf(std::int32_t bit) {
    for (const output::ReportLine& line : output::kReportTable)
        if (line.bit == bit) return std::string(line.text);
    return {};
}

}  // namespace

std::vector<Failure> JobRecord::failuresOf(std::int32_t word) {
    std::vector<Failure> failures;
    for (int shift = 0; shift < 32; ++shift) {
        const auto bit = static_cast<std::int32_t>(std::uint32_t{1} << shift);
        if ((word & bit) == 0 || bit == output::result::kNoSuccessLine) continue;
        std::string name;
        for (const FailureName& known : kFailureNames)
            if (known.bit == bit) name = known.name;
        if (name.empty()) {  // a bit this build has no name for still counts as a failure
            name = fmt::format("bit-0x{:X}", static_cast<std::uint32_t>(bit));
        }
        failures.push_back({bit, std::move(name), messageOf(bit)});
    }
    return failures;
}

bool JobRecord::success() const {
    return !stopped && (resultWord & ~output::result::kNoSuccessLine) == 0;
}

bool RunReport::success() const {
    if (jobs.empty()) return false;
    for (const JobRecord& job : jobs)
        if (!job.success()) return false;
    return true;
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string utcText(WallTime time) {
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    const time_t whole = static_cast<time_t>(seconds.count());
    tm utc{};
#ifdef _WIN32
    ::gmtime_s(&utc, &whole);
#else
    ::gmtime_r(&whole, &utc);
#endif
    char text[64];  // room for any int the fields could hold, so nothing is ever cut
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return text;
}

}  // namespace hlx::report
