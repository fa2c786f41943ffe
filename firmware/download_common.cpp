#include "firmware/download_common.h"

#include <fmt/format.h>

#include "jobs/job_file.h"
#include "output/job_result.h"
#include "output/text_window.h"

namespace hlx::firmware {

PreparedFile loadAndCheck(jobs::JobContext& context, HexImage& image, RecordArea& scratch, std::int32_t& word,
                          bool showBytesRead, bool useAddLine) {
    output::OutputLog& log = context.link.log;
    const jobs::PreparedFile* prepared = context.inputs.prepared.get();
    const base::Status loaded =
        prepared ? prepared->loaded : image.load(jobs::filePathFromEdit(context.inputs.filePath));
    if (!loaded) {
        word |= output::result::kFileOpen;
        if (loaded.isTooLarge()) {
            log.appendLine(jobs::tooLargeLine(prepared ? prepared->fileSize : image.lastFileSize()));
            log.refresh();
        }
        return {};
    }
    const std::string opened = context.inputs.filePath + " geöffnet";
    if (useAddLine)
        log.addLine(opened);
    else
        log.appendLine(opened);
    log.refresh();
    if (showBytesRead) log.appendLine(std::to_string(image.size()) + " Bytes gelesen");
    int errors = 0;
    if (prepared) {
        log.appendText(prepared->checkText);
        log.refresh();
        errors = prepared->checkErrors;
    } else {
        errors = image.checkFile(scratch, log);
    }
    if (errors > 0) word |= output::result::kCheckFailed;
    context.view.setProgressRange(0, 100);
    context.view.setProgress(0);
    return {true};
}

jobs::PreparedFile prepareFirmwareFile(const std::string& editText, base::FileBuffer& buffer) {
    HexImage image(buffer);
    jobs::PreparedFile prepared;
    prepared.loaded = image.load(jobs::filePathFromEdit(editText));
    prepared.fileSize = image.lastFileSize();
    if (!prepared.loaded) return prepared;
    output::TextWindow window;
    output::OutputLog log(window);
    RecordArea scratch{};
    prepared.checkErrors = image.checkFile(scratch, log);
    prepared.checkText = window.text();
    return prepared;
}

bool readClosingLines(serial::Link& link, std::int32_t& word) {
    link.replyDeadline.arm(serial::kLineRearm);
    int lines = 0;
    if (!serial::readReply(link, serial::ReplyMode::Lines, kClosingLines, lines))
        word |= output::result::kErrorByte;
    return lines > 0;
}

std::string pageLine(const std::uint8_t* record) {
    return fmt::format("Page: 0x{:04x}", (record[4] << 8) | record[5]);
}

int roundedPercent(std::int32_t position, std::int32_t size) {
    if (size <= 0) return 0;
    const float percent = static_cast<float>(position) * 100.0f / static_cast<float>(size) + 0.5f;
    return static_cast<int>(percent);
}

int truncatedPercent(std::int32_t position, std::int32_t size) {
    if (size <= 0) return 0;
    const float percent = static_cast<float>(position) / static_cast<float>(size) * 100.0f;
    return static_cast<int>(percent);
}

}  // namespace hlx::firmware
