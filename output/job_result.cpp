#include "output/job_result.h"

namespace hlx::output {

std::vector<std::string> reportLines(std::int32_t word) {
    if (word == 0) return {std::string(kSuccessLine)};
    std::vector<std::string> lines;
    for (const ReportLine& line : kReportTable)
        if (word & line.bit) lines.emplace_back(line.text);
    return lines;
}

}  // namespace hlx::output
