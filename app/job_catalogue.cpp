#include "app/job_catalogue.h"

#include "firmware/realterm_download.h"
#include "firmware/rtq_download.h"

namespace hlx::app {

std::optional<jobs::JobDefinition> jobDefinition(jobs::JobKind kind) {
    switch (kind) {
        case jobs::JobKind::RtqDownload: return firmware::rtqDownloadJob();
        case jobs::JobKind::RealtermDownload: return firmware::realtermDownloadJob();
        default: return std::nullopt;
    }
}

}  // namespace hlx::app
