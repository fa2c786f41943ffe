#include "cli/imaging_commands.h"

#include <memory>
#include <vector>

#include "base/console.h"
#include "cli/command_line.h"
#include "cli/console_view.h"
#include "imaging/bitmap_conversion.h"
#include "imaging/vxc_decoder.h"
#include "imaging/vxc_file.h"
#include "output/output_log.h"

#if HLX_HAVE_QTGRAPHICS
#include "app/qt_bitmap.h"
#endif

namespace hlx::cli {
namespace {

#if HLX_HAVE_QTGRAPHICS
std::unique_ptr<imaging::BitmapFactory> bitmapFactory() {
    return std::make_unique<app::QtBitmapFactory>();
}
#else
std::unique_ptr<imaging::BitmapFactory> bitmapFactory() {
    return nullptr;
}
#endif

int notAvailable(const char* command) {
    return reportUnusable(
        std::string(command) +
        ": not available: this hlx was built without Qt (configure with -DHLX_BUILD_GUI=ON)");
}

}  // namespace

int convertBmpCommand(const std::string& path) {
    const std::unique_ptr<imaging::BitmapFactory> bitmaps = bitmapFactory();
    if (!bitmaps) return notAvailable("convert-bmp");
    ConsoleWindow window;
    ConsoleJobView progress(base::stderrIsTerminal());
    output::OutputLog log(window);
    const imaging::ConversionResult result = imaging::convertBitmap(path, nullptr, {*bitmaps, log, progress});
    progress.finish();
    switch (result.outcome) {
        case imaging::ConversionOutcome::Complete:
            return kExitOk;
        case imaging::ConversionOutcome::SourceUnreadable:
            return reportUnusable(result.error);
        case imaging::ConversionOutcome::PreviewNotSaved:
            log.addLine(result.error);
            return kExitFailed;
        case imaging::ConversionOutcome::Refused:
        case imaging::ConversionOutcome::FileNotWritten:
            break;
    }
    return kExitFailed;
}

int decodeVxcCommand(const std::string& vxcPath, const std::string& bmpPath) {
    const std::unique_ptr<imaging::BitmapFactory> bitmaps = bitmapFactory();
    if (!bitmaps) return notAvailable("decode-vxc");
    std::vector<std::uint8_t> stream;
    if (base::Status s = imaging::readVxcFile(vxcPath, stream); !s) return reportUnusable(s.message());
    imaging::VxcHeader header;
    if (base::Status s = imaging::readVxcHeader(stream, header); !s)
        return reportUnusable(vxcPath + ": " + s.message());

    ConsoleWindow window;
    output::OutputLog log(window);
    const std::unique_ptr<imaging::Bitmap> picture = bitmaps->newBitmap();
    if (base::Status s = picture->create(header.width, header.height); !s) return reportUnusable(s.message());
    const imaging::VxcDecodeResult decoded = imaging::decodeStream(stream, *picture);
    bool whole = true;
    if (!decoded.status) {
        log.addLine("Fehler: " + decoded.status.message());
        whole = false;
    } else if (decoded.rows != header.height) {
        log.addLine("Fehler: VXC-Daten enden nach " + std::to_string(decoded.rows) + " von " +
                    std::to_string(header.height) + " Zeilen");
        whole = false;
    }
    log.addLine("Erzeuge: " + bmpPath + " (" + std::to_string(header.width) + " x " +
                std::to_string(header.height) + " Pixel" +
                (whole ? "" : ", " + std::to_string(decoded.rows) + " Zeilen dekodiert, der Rest schwarz") +
                ")");
    if (base::Status s = picture->save(bmpPath); !s) {
        log.addLine(s.message());
        return kExitFailed;
    }
    return whole ? kExitOk : kExitFailed;
}

void addImagingCommands(CommandLine& commands) {
    // Without Qt this build reads and writes no BMP files, so it does not offer the picture commands.
    if (!bitmapFactory()) return;
    auto file = std::make_shared<std::string>();
    CLI::App& convert = commands.add(
        "convert-bmp",
        "convert a BMP file into vxc_NAME.c, vxc_NAME.vxc and the preview vxc_NAME.bmp beside it",
        [file] { return convertBmpCommand(*file); });
    convert.add_option("FILE", *file, "the BMP file")->required()->type_name("");

    auto vxc = std::make_shared<std::string>();
    auto bmp = std::make_shared<std::string>();
    CLI::App& decode =
        commands.add("decode-vxc", "turn a .vxc file back into a 24-bit BMP file (exit 1 if damaged)",
                     [vxc, bmp] { return decodeVxcCommand(*vxc, *bmp); });
    decode.add_option("FILE", *vxc, "the .vxc file")->required()->type_name("");
    decode.add_option("OUT", *bmp, "the BMP file to write")->required()->type_name("");
}

}  // namespace hlx::cli
