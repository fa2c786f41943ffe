#pragma once
// VxcEncoder: turns a picture into a VXC stream (format in imaging/vxc_stream.h).
//
// Each row is read once; in that single pass the row is collected in all three forms (plain pixel words,
// runs with 8-bit counts, runs with 16-bit counts), and the row is written in the form with the smallest
// payload (2 bytes per pixel, 3 per short run, 4 per long run; ties go to the plain form over either run
// form and to short runs over long runs). A row of one colour equal to the previous row's last colour is
// a repeat row: repeat rows are written as one VXC_REPEAT_2 per pair, counted from the first row of a
// block, and a VXC_REPEAT_1 for an odd last row, written when the next other row or the end of the
// picture arrives. The previous row's colour starts as black, so an all-black first row is a repeat row.
//
// Limits: rows of at most 20,000 pixels, width and height of at least 1 and at most 65,535, a stream of at
// most 10,000,000 bytes. A picture beyond them is refused with a German message for the output window;
// the size is checked before the first row, the stream length while rows are added (only encoding tells
// how well a picture compresses). After a refusal stream() is empty.
//
// Memory: the row areas are reserved once for the widest row and reused, so one encoder serves any number
// of pictures without allocating per row. Threads: one encoder per thread.

#include <cstdint>
#include <functional>
#include <vector>

#include "base/status.h"
#include "imaging/bitmap.h"
#include "imaging/vxc_stream.h"

namespace hlx::imaging {

// Ok, or the German line that says why a picture of this size cannot become a VXC stream.
base::Status checkVxcPictureSize(int width, int height);

class VxcEncoder {
public:
    // Called with y at the start of row y (the progress bar follows it).
    using RowStarted = std::function<void(int y)>;

    VxcEncoder();

    base::Status encode(const Bitmap& picture, const RowStarted& rowStarted = {});
    // The stream of the last successful encode().
    const std::vector<std::uint8_t>& stream() const { return m_streamBuffer; }

private:
    struct Run {
        VxcPixel word;
        std::uint16_t count;  // the run paints count + 1 pixels
    };
    enum class RowForm { Repeat, Raw, Run8, Run16 };

    // Reads row y and builds RowPixels, ShortRuns and LongRuns from it in one pass.
    void collectRow(const Bitmap& picture, int y);
    RowForm chooseForm(VxcPixel previousRowColour) const;
    // Appends the code byte and the row in the given (non-repeat) form; false when the stream would pass
    // its limit.
    bool emitRow(RowForm form);
    // Room for n more bytes at the end of the stream, or nullptr when that would pass the limit.
    std::uint8_t* grow(std::size_t n);

    std::vector<Rgb> m_rowColours;
    std::vector<VxcPixel> m_rowPixels;
    std::vector<Run> m_shortRuns;
    std::vector<Run> m_longRuns;
    std::vector<std::uint8_t> m_streamBuffer;
};

}  // namespace hlx::imaging
