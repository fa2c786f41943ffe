// Fuzz target for the VXC decoder and the ".vxc" container. For every input, read as a stream: decoding
// stops with a reason or at the end, never reads outside the input and never paints outside the target
// (MemoryBitmap aborts if it does); the rows it reports are painted exactly once across the width the
// header gave, and nothing else is; a picture that decoded whole (and is narrow enough for the encoder)
// encodes and decodes to itself. Read as a ".vxc" file: the container is taken only when its length
// prefix matches.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "imaging/vxc_decoder.h"
#include "imaging/vxc_encoder.h"
#include "imaging/vxc_file.h"
#include "tests/support/memory_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hlx::imaging;
    const std::span<const std::uint8_t> input(data, size);

    std::vector<std::uint8_t> contained;
    if (parseVxcFile(input, contained) && contained.size() + 4 != size) std::abort();

    // A target of the header's size when that is small, else a small one the stream may not fit.
    int width = 8;
    int height = 8;
    VxcHeader header;
    if (readVxcHeader(input, header) &&
        static_cast<std::int64_t>(header.width) * header.height <= 64 * 1024) {
        width = header.width;
        height = header.height;
    }
    hlx::test::MemoryBitmap target(width, height);
    const VxcDecodeResult result = decodeStream(input, target);
    if (!result.status && result.status.message().empty()) std::abort();
    if (result.rows < 0 || result.rows > height || result.width > width) std::abort();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (target.paints(x, y) != (y < result.rows && x < result.width ? 1 : 0)) std::abort();

    if (result.status && result.rows == height && result.width == width && width <= kMaxRowPixels) {
        VxcEncoder encoder;
        if (!encoder.encode(target)) std::abort();
        hlx::test::MemoryBitmap again(width, height);
        const VxcDecodeResult second = decodeStream(encoder.stream(), again);
        if (!second.status || second.rows != height || again.pixels() != target.pixels()) std::abort();
    }
    return 0;
}
