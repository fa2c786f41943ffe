#pragma once
// Checks a run's record against its JSON Schema (docs/job-report.schema.json) with an independent
// validator, python3-jsonschema from Debian (tests/support/validate_json.py), so a test that writes a
// report or a job log also proves it keeps the documented shape. Header-only; blocks until the validator
// has run.

#include <string>

#include "tests/support/child_process.h"

namespace hlx::test {

// Empty when the file holds a valid report (with lines: a job log, one valid report per line); otherwise
// what the validator said, each violation with where it is.
inline std::string reportSchemaViolations(const std::string& path, bool lines = false) {
    const std::string source = HLX_SOURCE_DIR;
    const auto quoted = [](const std::string& text) { return "'" + text + "'"; };
    const CommandOutcome run = runCommand("python3 " + quoted(source + "/tests/support/validate_json.py") +
                                          " " + quoted(source + "/docs/job-report.schema.json") + " " +
                                          quoted(path) + (lines ? " --lines" : ""));
    if (run.exitCode == 0) return {};
    return run.out.empty() ? "the validator ended with " + std::to_string(run.exitCode) : run.out;
}

}  // namespace hlx::test
