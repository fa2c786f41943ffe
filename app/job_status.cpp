#include "app/job_status.h"

#include <algorithm>

#include "output/job_result.h"

namespace hlx::app {
namespace {

constexpr std::string_view kFailurePrefix = "Fehler";

}  // namespace

JobStatus jobStatusOf(const report::JobRecord& record) {
    if (record.stopped) return {};
    const std::vector<std::string>& lines = record.lines;
    if (!record.success()) {
        for (const std::string& line : lines)
            if (line.starts_with(kFailurePrefix)) return {JobOutcome::Failed, line};
        const std::vector<std::string> reported =
            output::reportLines(record.resultWord & ~output::result::kNoSuccessLine);
        return {JobOutcome::Failed, reported.empty() ? std::string(kFailurePrefix) : reported.front()};
    }
    for (const std::string& line : lines)
        if (line == output::kSuccessLine) return {JobOutcome::Succeeded, line};
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (!it->empty()) return {JobOutcome::Succeeded, *it};
    return {JobOutcome::Succeeded, ""};
}

std::string jobStatusText(const JobStatus& status) {
    switch (status.outcome) {
        case JobOutcome::None:
            return {};
        case JobOutcome::Succeeded:
            return status.line.empty() ? std::string(kSucceededWord)
                                       : std::string(kSucceededWord) + " \u2013 " + status.line;
        case JobOutcome::Failed:
            return std::string(kFailedWord) + " \u2013 " + status.line;
    }
    return {};
}

void ProgressKept::setProgressRange(int minimum, int maximum) {
    m_furthest = minimum;
    m_view.setProgressRange(minimum, maximum);
}

void ProgressKept::setProgress(int position) {
    m_furthest = std::max(m_furthest, position);
    m_view.setProgress(position);
}

void ProgressKept::showWhereStopped() {
    m_view.setProgress(m_furthest);
}

}  // namespace hlx::app
