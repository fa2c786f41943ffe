#pragma once
// The job kinds this program has, each with its whole definition (body and the steps it adds around the
// result report), gathered from the folders that own them. The window and `hlx` start jobs from here.

#include <optional>

#include "jobs/job_frame.h"

namespace hlx::runner {

// The definition of a kind, or nothing for a kind this build does not have yet.
std::optional<jobs::JobDefinition> jobDefinition(jobs::JobKind kind);

}  // namespace hlx::runner
