// hlx: the service tool's command-line companion. It runs the very same jobs as the window, through the
// same job slot, with the console as their view.
//
//   hlx ports                          serial ports present, with the text to type into COM-Nr
//   hlx check-hex FILE                 the window's syntax check of an Intel HEX file
//   hlx hex-info FILE                  layout and everything suspicious in an Intel HEX file
//   hlx flash rtq|realterm FILE --port TEXT [--settings N] [--print-result]

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/job_catalogue.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "cli/console_view.h"
#include "cli/osd_preview_command.h"
#include "cli/render_charts_command.h"
#include "firmware/download_common.h"
#include "firmware/hex_image.h"
#include "firmware/hex_info.h"
#include "serial/port_list.h"
#include "serial/posix_serial_device.h"
#include "output/job_result.h"

namespace {

using namespace hlx;

constexpr const char* kVersion = "1.3.0";

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "hlx %s - command-line companion of the HLX service tool\n"
                 "\n"
                 "Usage:\n"
                 "  hlx ports                      list the serial ports present and what to type into COM-Nr\n"
                 "  hlx check-hex FILE             check the syntax of an Intel HEX file (exit 1 on errors)\n"
                 "  hlx hex-info FILE              show the file's layout and anything suspicious (exit 1 if any)\n"
                 "  hlx flash rtq FILE --port TEXT [--settings N] [--print-result]\n"
                 "                                 firmware update by binary records (\"Update (RTQ)\")\n"
                 "  hlx flash realterm FILE --port TEXT [--settings N] [--print-result]\n"
                 "                                 firmware update by HEX text lines (\"Update (Realterm)\")\n"
                 "  hlx osd-preview                open the OSD menu preview in a window of its own\n"
                 "  hlx render-charts DIR          draw the ten measurement charts into DIR/chart-A.png ... J.png\n"
                 "  hlx --help | --version\n"
                 "\n"
                 "--port TEXT   as typed into COM-Nr: a number n for COMn (/dev/ttyS(n-1)) or a device path\n"
                 "              such as /dev/ttyUSB0 or /dev/serial/by-id/...\n"
                 "--settings N  COM settings entry: 0 115200,8,E,1  1 460800,8,E,1  2 115200,8,N,1\n"
                 "              3 9600,8,E,1  4 57600,8,E,1 (default 0)\n"
                 "--print-result  end with the line JobResult=0x... on stderr\n",
                 kVersion);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "hlx: %s\n", message.c_str());
    return 2;
}

int listPorts() {
    const auto ports = serial::listSerialPorts();
    if (ports.empty()) {
        std::printf("No serial ports found.\n");
        return 0;
    }
    bool denied = false;
    for (const serial::PortInfo& p : ports) {
        std::printf("%s\n", p.device.c_str());
        std::printf("    COM-Nr:  %s\n", p.fieldText().c_str());
        if (!p.driver.empty()) std::printf("    driver:  %s\n", p.driver.c_str());
        if (!p.usbVendorId.empty())
            std::printf("    USB:     %s:%s %s\n", p.usbVendorId.c_str(), p.usbProductId.c_str(), p.description.c_str());
        if (!p.byId.empty()) std::printf("    by-id:   %s\n", p.byId.c_str());
        if (!p.accessible) {
            std::printf("    access:  no permission to open it\n");
            denied = true;
        }
    }
    if (denied)
        std::printf("\nTo use a port without permission, add yourself to its group (usually dialout):\n"
                    "  sudo usermod -aG dialout $USER   (then log in again)\n");
    return 0;
}

int checkHex(const std::string& path) {
    firmware::HexImage image;
    cli::ConsoleWindow window;
    output::OutputLog log(window);
    const firmware::LoadResult loaded = image.load(path);
    if (loaded == firmware::LoadResult::TooLarge) {
        log.appendLine(firmware::tooLargeLine(image.lastFileSize()));
        return 1;
    }
    if (loaded != firmware::LoadResult::Ok) return fail(path + ": cannot be opened");
    firmware::RecordArea scratch{};
    return image.checkFile(scratch, log) == 0 ? 0 : 1;
}

int hexInfo(const std::string& path);

struct FlashOptions {
    jobs::JobKind kind;
    std::string file;
    std::string port;
    int settings = 0;
    bool printResult = false;
};

int flash(const FlashOptions& options) {
    serial::SerialPort port(std::make_unique<serial::PosixSerialDevice>());
    cli::ConsoleWindow window;
    cli::ConsoleJobView view(::isatty(STDERR_FILENO) != 0);
    output::OutputLog log(window);
    serial::Deadline replyDeadline;
    jobs::JobSlot slot;
    slot.init();

    jobs::JobInputs inputs;
    inputs.comText = options.port;
    inputs.settingsEntry = options.settings;
    inputs.filePath = options.file;
    inputs.parameter = slot.parameter();
    std::optional<std::int32_t> reported;
    const jobs::JobDefinition job = *app::jobDefinition(options.kind);
    base::FileBuffer file;
    slot.start([&](std::stop_token stop) {
        jobs::JobContext context{{port, replyDeadline, log, stop}, view, file, inputs};
        reported = jobs::runJobFrame(job, context, slot);
    });
    slot.wait();
    view.finish();
    const std::int32_t word = reported.value_or(-1);
    if (options.printResult) std::fprintf(stderr, "JobResult=0x%X\n", static_cast<unsigned>(word));
    return (word & ~output::result::kNoSuccessLine) == 0 ? 0 : 1;
}

std::optional<int> parseInt(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < -1 || value > 1000) return std::nullopt;
    return static_cast<int>(value);
}

int parseFlash(const std::vector<std::string>& args) {
    if (args.size() < 3) return fail("flash needs a method (rtq or realterm) and a FILE; see hlx --help");
    FlashOptions options;
    if (args[1] == "rtq")
        options.kind = jobs::JobKind::RtqDownload;
    else if (args[1] == "realterm")
        options.kind = jobs::JobKind::RealtermDownload;
    else
        return fail("unknown flash method '" + args[1] + "' (rtq or realterm)");
    options.file = args[2];
    bool havePort = false;
    for (std::size_t i = 3; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size()) {
            options.port = args[++i];
            havePort = true;
        } else if (args[i] == "--settings" && i + 1 < args.size()) {
            auto n = parseInt(args[++i].c_str());
            if (!n) return fail("--settings takes an entry number 0 to 4");
            options.settings = *n;
        } else if (args[i] == "--print-result") {
            options.printResult = true;
        } else {
            return fail("unknown option '" + args[i] + "'; see hlx --help");
        }
    }
    if (!havePort) return fail("flash needs --port TEXT (a COM number or a device path)");
    return flash(options);
}

int hexInfo(const std::string& path) {
    firmware::HexImage image;
    const firmware::LoadResult loaded = image.load(path);
    if (loaded == firmware::LoadResult::TooLarge) {
        std::printf("%s\n", firmware::tooLargeLine(image.lastFileSize()).c_str());
        return 1;
    }
    if (loaded != firmware::LoadResult::Ok) return fail(path + ": cannot be opened");
    const firmware::HexReport report = firmware::analyseHex(image.bytes());
    for (const std::string& line : firmware::formatHexReport(report)) std::printf("%s\n", line.c_str());
    return report.suspicious() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::printf("hlx %s\n", kVersion);
        return 0;
    }
    try {
        if (args[0] == "ports") return listPorts();
        if (args[0] == "check-hex" && args.size() == 2) return checkHex(args[1]);
        if (args[0] == "hex-info" && args.size() == 2) return hexInfo(args[1]);
        if (args[0] == "flash") return parseFlash(args);
        if (args[0] == "osd-preview" && args.size() == 1) return cli::osdPreviewCommand(argv[0]);
        if (args[0] == "render-charts" && args.size() == 2) return cli::renderChartsCommand(args[1]);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    return fail("unknown command '" + args[0] + "'; see hlx --help");
}
