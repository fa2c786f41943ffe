#include "imaging/bitmap_conversion.h"

#include <memory>
#include <optional>
#include <span>

#include "imaging/c_array.h"
#include "imaging/narrow_path.h"
#include "imaging/source_path.h"
#include "imaging/vxc_decoder.h"
#include "imaging/vxc_encoder.h"
#include "imaging/vxc_file.h"

namespace hlx::imaging {
namespace {

void announce(output::OutputLog& log, const std::string& path) {
    log.addLine("Erzeuge: " + path);
    log.refresh();
}

// A failure that the output window reports and the conversion goes past.
bool reported(output::OutputLog& log, const base::Status& s) {
    if (s) return true;
    log.addLine(s.message());
    log.refresh();
    return false;
}

// Writes one of the two stream files; a failure gets its line and the conversion goes on. A name that
// narrowing changed (a tab, a quote, a character beyond Latin-1) is named, so the file can be found.
bool writeStreamFile(output::OutputLog& log, const std::string& path,
                     base::Status (*write)(std::string_view, std::span<const std::uint8_t>,
                                           base::FileSystem&),
                     std::span<const std::uint8_t> stream) {
    if (!reported(log, write(path, stream, base::systemFileSystem()))) return false;
    if (const std::optional<std::string> name = narrowFileName(path); name && *name != path) {
        log.addLine("Hinweis: gespeichert als " + *name + " (Dateiname in 8-Bit-Zeichen)");
        log.refresh();
    }
    return true;
}

}  // namespace

ConversionResult convertBitmap(const std::string& sourcePath, PictureDisplay* display,
                               const ConversionContext& context) {
    const SourcePathParts source = splitSourcePath(sourcePath);
    const OutputPaths outputs = outputPathsFor(source);

    const std::unique_ptr<Bitmap> reading = context.bitmaps.newBitmap();
    const std::unique_ptr<Bitmap> preview = context.bitmaps.newBitmap();
    if (base::Status s = reading->load(sourcePath); !s)
        return {ConversionOutcome::SourceUnreadable, s.message()};
    if (base::Status s = preview->load(sourcePath); !s)
        return {ConversionOutcome::SourceUnreadable, s.message()};
    const int height = reading->height();

    if (display) display->showPictureFile(sourcePath);
    context.progress.setProgress(0);
    context.progress.setProgressRange(0, height - 1);
    output::OutputLog& log = context.log;
    log.addLine("Komprimiere " + source.name);
    log.refresh();

    VxcEncoder encoder;
    if (!reported(log, encoder.encode(*reading, [&](int y) { context.progress.setProgress(y); })))
        return {ConversionOutcome::Refused, {}};
    const std::vector<std::uint8_t>& stream = encoder.stream();

    announce(log, outputs.cSource);
    bool written = writeStreamFile(log, outputs.cSource, writeCArray, stream);
    announce(log, outputs.vxc);
    written = writeStreamFile(log, outputs.vxc, writeVxcFile, stream) && written;

    announce(log, outputs.preview);
    // The preview copy was loaded again from the source; had the file changed in between, the stream
    // would not fit it, and the decoder says so instead of painting beyond it.
    const VxcDecodeResult decoded = decodeStream(stream, *preview);
    if (!decoded.status)
        return {ConversionOutcome::PreviewNotSaved, outputs.preview + ": " + decoded.status.message()};
    if (base::Status s = preview->save(outputs.preview); !s)
        return {ConversionOutcome::PreviewNotSaved, s.message()};
    if (display) display->showPictureFile(outputs.preview);
    return {written ? ConversionOutcome::Complete : ConversionOutcome::FileNotWritten, {}};
}

}  // namespace hlx::imaging
