#pragma once
// convertBitmap: the picture converter. A BMP file becomes, next to it (names in imaging/source_path.h),
//   vxc_<name>.c    the VXC stream as a C array for building into the firmware (imaging/c_array.h),
//   vxc_<name>.vxc  the stream as a binary file for the file sender (imaging/vxc_file.h),
//   vxc_<name>.bmp  a preview decoded from the stream again, in the source's size and pixel format, so the
//                   technician sees the picture as the monitor will (colours cut to 16 bits).
//
// The steps, in this order: load the source twice (a copy to read and a copy to paint the preview on);
// show the source in the display control, if there is one; set the progress bar to 0 ... height - 1 and
// add "Komprimiere <name>" to the output window; encode, the progress bar following the rows; then for
// each output add "Erzeuge: <path>", repaint the output window and write the file; finally show the
// preview in the display control.
//
// Failures:
//   - a source that cannot be read as a bitmap ends the conversion before anything is shown or written;
//     ConversionResult::error holds the loader's report (the window shows it in an error dialog);
//   - a picture wider than 20,000 pixels, higher than 65,535 rows or whose stream would pass 10,000,000
//     bytes is refused with a German line after "Komprimiere"; no file is written;
//   - a C or ".vxc" file that cannot be written gets a German line under its "Erzeuge: " line, and the
//     conversion goes on with the next file (each file is replaced atomically, so a failure never leaves a
//     half-written file); one written under a name that narrowing to 8-bit characters changed gets a line
//     with that name;
//   - a preview that cannot be saved ends the conversion with the writer's report in
//     ConversionResult::error; the display keeps the source picture.
//
// Threads: one synchronous call on the thread that owns the output window and the display (the GUI
// thread in the window).

#include <string>
#include <string_view>

#include "imaging/bitmap.h"
#include "output/job_view.h"
#include "output/output_log.h"

namespace hlx::imaging {

// The control that shows the source and then the preview (the main window's Image1).
class PictureDisplay {
public:
    virtual ~PictureDisplay() = default;
    // Shows the picture in the file, scaled to fit the control with its aspect kept, and repaints.
    virtual void showPictureFile(const std::string& path) = 0;
};

// A picture control with the platform's bitmaps behind it: what the main window hands to the converter.
class PictureControl : public BitmapFactory, public PictureDisplay {};

// The file chooser's filter for the converter's sources.
inline constexpr std::string_view kBitmapFilter = "Bitmap (*.BMP)|*.BMP";

// What a conversion works with besides its source and display.
struct ConversionContext {
    const BitmapFactory& bitmaps;
    output::OutputLog& log;
    output::JobView& progress;  // the progress bar
};

enum class ConversionOutcome {
    Complete,          // all three files written, the preview shown
    SourceUnreadable,  // nothing shown, no line added, no file written; error holds the loader's report
    Refused,           // beyond the limits: the output window says why; no file written
    FileNotWritten,    // the C or ".vxc" file could not be written (the output window says which); the
                       // other files were
    PreviewNotSaved,   // error holds the writer's report; the C and ".vxc" files are written
};

struct ConversionResult {
    ConversionOutcome outcome = ConversionOutcome::Complete;
    // The bitmap loader's or writer's own report for SourceUnreadable and PreviewNotSaved (the window
    // shows it in an error dialog); empty otherwise.
    std::string error;
};

// display may be null (no control to show the pictures in).
ConversionResult convertBitmap(const std::string& sourcePath, PictureDisplay* display,
                               const ConversionContext& context);

}  // namespace hlx::imaging
