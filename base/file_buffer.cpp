#include "base/file_buffer.h"

#include <algorithm>
#include <cstring>

#include "base/file_reader.h"

namespace hlx::base {

FileBuffer::FileBuffer() : m_data(new std::uint8_t[kCapacity]) {}

Status FileBuffer::load(const std::string& path, FileSystem& files) {
    m_lastError = loadFrom(path, files);
    return m_lastError;
}

Status FileBuffer::loadFrom(const std::string& path, FileSystem& files) {
    const FileRead r = readRegularFile(path, {m_data.get(), static_cast<std::size_t>(kCapacity)}, files);
    if (r.fileSize >= 0) m_lastFileSize = r.fileSize;
    if (r.status.isTooLarge()) return r.status;
    if (!r.status) {
        if (r.fileSize >= 0) {  // opened and checked, then a read failed: the buffer is no longer whole
            m_size = 0;
            m_position = 0;
        }
        return r.status;
    }
    m_size = static_cast<std::int32_t>(r.bytes);
    m_position = 0;
    return Status::ok();
}

Status FileBuffer::assign(std::string_view bytes) {
    m_lastFileSize = static_cast<std::int64_t>(bytes.size());
    if (bytes.size() > static_cast<std::size_t>(kCapacity))
        return Status::error(StatusCode::TooLarge,
                             std::to_string(bytes.size()) + " bytes, at most " + std::to_string(kCapacity));
    if (!bytes.empty()) std::memcpy(m_data.get(), bytes.data(), bytes.size());
    m_size = static_cast<std::int32_t>(bytes.size());
    m_position = 0;
    return Status::ok();
}

void FileBuffer::setPosition(std::int32_t position) {
    m_position = std::clamp(position, 0, m_size);
}

}  // namespace hlx::base
