#include "imaging/vxc_file.h"

#include "base/file_reader.h"
#include "imaging/narrow_path.h"
#include "imaging/vxc_stream.h"

namespace hlx::imaging {
namespace {

constexpr std::size_t kPrefixSize = 4;

}  // namespace

std::vector<std::uint8_t> vxcFileBytes(std::span<const std::uint8_t> stream) {
    const auto n = static_cast<std::uint32_t>(stream.size());
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kPrefixSize + stream.size());
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(n >> shift));
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    return bytes;
}

base::Status writeVxcFile(std::string_view path, std::span<const std::uint8_t> stream,
                          base::FileSystem& files) {
    const std::vector<std::uint8_t> bytes = vxcFileBytes(stream);
    return writeNarrowedFile(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), files);
}

base::Status parseVxcFile(std::span<const std::uint8_t> fileBytes, std::vector<std::uint8_t>& stream) {
    if (fileBytes.size() < kPrefixSize)
        return base::Status::error(base::StatusCode::Corrupt,
                                   "keine VXC-Datei: " + std::to_string(fileBytes.size()) +
                                       " Bytes, die Längenangabe allein braucht 4");
    const std::uint32_t n =
        static_cast<std::uint32_t>(fileBytes[0]) | static_cast<std::uint32_t>(fileBytes[1]) << 8 |
        static_cast<std::uint32_t>(fileBytes[2]) << 16 | static_cast<std::uint32_t>(fileBytes[3]) << 24;
    const std::size_t present = fileBytes.size() - kPrefixSize;
    if (n > kMaxStreamBytes)
        return base::Status::error(base::StatusCode::Corrupt, "keine gültige VXC-Datei: Längenangabe " +
                                                                  std::to_string(n) + " Bytes, höchstens " +
                                                                  std::to_string(kMaxStreamBytes));
    if (n != present)
        return base::Status::error(base::StatusCode::Corrupt,
                                   "keine gültige VXC-Datei: Längenangabe " + std::to_string(n) +
                                       " Bytes, es folgen aber " + std::to_string(present));
    stream.assign(fileBytes.begin() + kPrefixSize, fileBytes.end());
    return base::Status::ok();
}

base::Status readVxcFile(const std::string& path, std::vector<std::uint8_t>& stream,
                         base::FileSystem& files) {
    std::string bytes;
    const base::FileRead read = base::readRegularFile(path, bytes, kPrefixSize + kMaxStreamBytes, files);
    if (!read.status) return read.status;
    const std::span<const std::uint8_t> fileBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                  bytes.size());
    return parseVxcFile(fileBytes, stream).withContext(path);
}

}  // namespace hlx::imaging
