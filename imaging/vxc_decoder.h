#pragma once
// Decoding a VXC stream (format in imaging/vxc_stream.h) onto a bitmap, for the preview of a conversion
// and for checking a ".vxc" file.
//
// decodeStream paints rows from the top until the stream ends: each pixel word becomes the current colour
// and paints its pixel or run, the repeat records paint whole rows in the current colour. A stream from
// VxcEncoder paints every pixel of a width x height target exactly once.
//
// The stream is outside input: a file may be damaged or not a VXC stream at all. Each record is checked
// whole before anything of it is painted, and decoding stops at the first record that
//   - does not start with a known code, or is a header anywhere but at the start (or is missing there),
//   - ends before its last byte (a truncated record),
//   - has runs that do not add up to exactly the width,
//   - would paint below the target's last row, or a row wider than the target,
// and the result says where (byte offset in the stream) and why, in German for the output window. Nothing
// is ever read outside the stream or painted outside the target. The header's magic and height are not
// needed for decoding and are not checked here; readVxcHeader checks them for callers that size a target.
//
// Threads: no shared state.

#include <cstdint>
#include <span>

#include "base/status.h"
#include "imaging/bitmap.h"

namespace hlx::imaging {

struct VxcDecodeResult {
    base::Status status;  // ok when the stream ended after a whole record
    int width = 0;        // from the header; 0 when none was read
    int rows = 0;         // rows painted from the top
};

VxcDecodeResult decodeStream(std::span<const std::uint8_t> stream, Bitmap& target);

// The same walk without a target, painting nothing: the width the header gives (up to 65,535), the rows the
// stream paints (at most maxRows) and where it is damaged. Its time and memory depend on the stream's
// length only, so a caller can size a target by what the stream holds before allocating it.
VxcDecodeResult measureStream(std::span<const std::uint8_t> stream, int maxRows);

struct VxcHeader {
    int width = 0;
    int height = 0;
};

// The header record at the start of stream: code, "VXP1", and width and height of at least 1. On failure
// header is left as it was.
base::Status readVxcHeader(std::span<const std::uint8_t> stream, VxcHeader& header);

}  // namespace hlx::imaging
