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
#include "imaging/qt_bitmap.h"
#endif

namespace hlx::cli {
namespace {

#if HLX_HAVE_QTGRAPHICS
std::unique_ptr<imaging::BitmapFactory> bitmapFactory() {
    return std::make_unique<imaging::QtBitmapFactory>();
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
    ConsoleJobView progress(base::stderrIsTerminal());
    ConsoleWindow window(progress);
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

// The decoded picture holds the rows the stream paints, not the rows its header claims: a few bytes can
// claim 65,535 x 65,535 pixels. What the stream paints is bounded too, by the pixels a picture may have in
// memory (a single repeat record paints two whole rows).
constexpr std::uint64_t kMaxDecodedPixels = 64ull * 1024 * 1024;

int decodeVxcCommand(const std::string& vxcPath, const std::string& bmpPath) {
    const std::unique_ptr<imaging::BitmapFactory> bitmaps = bitmapFactory();
    if (!bitmaps) return notAvailable("decode-vxc");
    std::vector<std::uint8_t> stream;
    if (base::Status s = imaging::readVxcFile(vxcPath, stream); !s) return reportUnusable(s.message());
    imaging::VxcHeader header;
    if (base::Status s = imaging::readVxcHeader(stream, header); !s)
        return reportUnusable(vxcPath + ": " + s.message());

    // First the stream alone: how wide, how many rows, and where it is damaged.
    const imaging::VxcDecodeResult measured = imaging::measureStream(stream, header.height);
    const int rows = measured.rows;
    if (static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(rows) > kMaxDecodedPixels)
        return reportUnusable(vxcPath + ": Bild zu groß zum Dekodieren (" + std::to_string(header.width) +
                              " x " + std::to_string(rows) + " Pixel)");

    ConsoleWindow window;
    output::OutputLog log(window);
    bool whole = true;
    if (!measured.status) {
        log.addLine("Fehler: " + measured.status.message());
        whole = false;
    } else if (rows != header.height) {
        log.addLine("Fehler: VXC-Daten enden nach " + std::to_string(rows) + " von " +
                    std::to_string(header.height) + " Zeilen");
        whole = false;
    }
    if (rows == 0) {
        log.addLine("Keine Bildzeile dekodiert, keine Datei erzeugt");
        return kExitFailed;
    }
    const std::unique_ptr<imaging::Bitmap> picture = bitmaps->newBitmap();
    if (base::Status s = picture->create(header.width, rows); !s) return reportUnusable(s.message());
    imaging::decodeStream(stream, *picture);  // the rows measured; what follows them was reported above
    log.addLine(
        "Erzeuge: " + bmpPath + " (" + std::to_string(header.width) + " x " + std::to_string(rows) +
        " Pixel" +
        (whole ? "" : ", " + std::to_string(rows) + " von " + std::to_string(header.height) + " Zeilen") +
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
