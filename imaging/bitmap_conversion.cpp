#include "imaging/bitmap_conversion.h"

#include <memory>

#include "imaging/c_array.h"
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

}  // namespace

ConversionResult convertBitmap(const std::string& sourcePath, PictureDisplay* display,
                               const ConversionContext& context) {
    const SourcePathParts source = splitSourcePath(sourcePath);
    const OutputPaths outputs = outputPathsFor(source);

    const std::unique_ptr<Bitmap> reading = context.bitmaps.newBitmap();
    const std::unique_ptr<Bitmap> preview = context.bitmaps.newBitmap();
    if (base::Status s = reading->load(sourcePath); !s) return {s.message(), false};
    if (base::Status s = preview->load(sourcePath); !s) return {s.message(), false};
    const int height = reading->height();

    if (display) display->showPictureFile(sourcePath);
    context.progress.setProgress(0);
    context.progress.setProgressRange(0, height - 1);
    output::OutputLog& log = context.log;
    log.addLine("Komprimiere " + source.name);
    log.refresh();

    VxcEncoder encoder;
    if (!reported(log, encoder.encode(*reading, [&](int y) { context.progress.setProgress(y); }))) return {};
    const std::vector<std::uint8_t>& stream = encoder.stream();

    announce(log, outputs.cSource);
    bool complete = reported(log, writeCArray(outputs.cSource, stream));
    announce(log, outputs.vxc);
    complete = reported(log, writeVxcFile(outputs.vxc, stream)) && complete;

    announce(log, outputs.preview);
    const VxcDecodeResult decoded = decodeStream(stream, *preview);
    if (!reported(log, decoded.status)) return {};
    if (base::Status s = preview->save(outputs.preview); !s) return {s.message(), false};
    if (display) display->showPictureFile(outputs.preview);
    return {{}, complete};
}

}  // namespace hlx::imaging
