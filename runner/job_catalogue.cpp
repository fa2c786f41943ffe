#include "runner/job_catalogue.h"

#include "firmware/isp_download.h"
#include "firmware/realterm_download.h"
#include "firmware/rtq_download.h"
#include "terminal/file_sender.h"
#include "terminal/terminal_sender.h"

namespace hlx::runner {

std::optional<jobs::JobDefinition> jobDefinition(jobs::JobKind kind) {
    switch (kind) {
        case jobs::JobKind::RtqDownload:
            return firmware::rtqDownloadJob();
        case jobs::JobKind::RealtermDownload:
            return firmware::realtermDownloadJob();
        case jobs::JobKind::BootLoader:
            return firmware::ispDownloadJob();
        case jobs::JobKind::TerminalSender:
            return terminal::terminalSenderJob();
        case jobs::JobKind::FileSender:
            return terminal::fileSenderJob();
        default:
            return std::nullopt;
    }
}

}  // namespace hlx::runner
