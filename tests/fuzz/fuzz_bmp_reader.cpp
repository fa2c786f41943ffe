// Fuzz target for the BMP reader without Qt. For every input: a refusal comes with a reason; an accepted
// picture costs at most 256 bytes of memory per byte of the file; it decodes to the same pixels whatever
// the memory held before (no pixel is left unwritten, none comes from anywhere but the file), never writes
// outside its rows, and every colour-table index it gives names an entry of the file's table.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "imaging/bmp_reader.h"

namespace {

using hlx::imaging::BmpInfo;

// The picture decoded over memory filled with fill, with a guard byte after each row.
std::vector<std::uint8_t> decodeOver(std::span<const std::uint8_t> file, const BmpInfo& info,
                                     std::uint8_t fill, bool& ok) {
    const std::size_t rowBytes = static_cast<std::size_t>(info.width) * (info.bitDepth <= 8 ? 1 : 4);
    const std::size_t stride = rowBytes + 1;
    std::vector<std::uint8_t> out(stride * static_cast<std::size_t>(info.height), fill);
    ok = (info.bitDepth <= 8 ? hlx::imaging::decodeBmpIndices(file, info, out, stride)
                             : hlx::imaging::decodeBmpColours(file, info, out, stride))
             .isOk();
    for (std::size_t at = rowBytes; at < out.size(); at += stride)
        if (out[at] != fill) std::abort();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    BmpInfo info;
    const hlx::base::Status read = hlx::imaging::readBmpInfo(file, info);
    if (!read) {
        if (read.message().empty()) std::abort();
        return 0;
    }
    const std::uint64_t pictureBytes = static_cast<std::uint64_t>(info.width) *
                                       static_cast<std::uint64_t>(info.height) * (info.bitDepth <= 8 ? 1 : 4);
    if (pictureBytes > 256 * static_cast<std::uint64_t>(size)) std::abort();

    bool ok0 = false;
    bool ok1 = false;
    const std::vector<std::uint8_t> over0 = decodeOver(file, info, 0x00, ok0);
    const std::vector<std::uint8_t> over1 = decodeOver(file, info, 0xFF, ok1);
    if (ok0 != ok1) std::abort();
    if (!ok0) return 0;
    const std::size_t rowBytes = static_cast<std::size_t>(info.width) * (info.bitDepth <= 8 ? 1 : 4);
    for (std::size_t i = 0; i < over0.size(); ++i) {
        if (i % (rowBytes + 1) == rowBytes) continue;  // the guard byte
        if (over0[i] != over1[i]) std::abort();
        if (info.bitDepth <= 8 && over0[i] >= info.palette.size()) std::abort();
    }
    return 0;
}
