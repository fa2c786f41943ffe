#include "base/file_buffer.h"

#include <algorithm>
#include <cstring>

#include "base/file_reader.h"

namespace hlx::base {

FileBuffer::FileBuffer() : m_data(new std::uint8_t[kCapacity]) {}

FileBuffer::FileBuffer(ViewOf, const FileBuffer& source)
    : m_data(source.m_data),
      m_readOnly(true),
      m_loads(source.m_loads),
      m_size(source.m_size),
      m_lastFileSize(source.m_lastFileSize),
      m_lastError(source.m_lastError) {}

std::unique_ptr<FileBuffer> FileBuffer::readOnlyView(const FileBuffer& source) {
    return std::unique_ptr<FileBuffer>(new FileBuffer(ViewOf{}, source));
}

namespace {

Status readOnlyRefusal() {
    return Status::error("the file buffer is a read-only view of a file read for several jobs");
}

}  // namespace

Status FileBuffer::load(const std::string& path, FileSystem& files) {
    m_lastError = m_readOnly ? readOnlyRefusal() : loadFrom(path, files);
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
    ++m_loads;
    return Status::ok();
}

Status FileBuffer::assign(std::string_view bytes) {
    m_lastError = m_readOnly ? readOnlyRefusal() : assignFrom(bytes);
    return m_lastError;
}

Status FileBuffer::assignFrom(std::string_view bytes) {
    m_lastFileSize = static_cast<std::int64_t>(bytes.size());
    if (bytes.size() > static_cast<std::size_t>(kCapacity))
        return Status::error(StatusCode::TooLarge,
                             std::to_string(bytes.size()) + " bytes, at most " + std::to_string(kCapacity));
    if (!bytes.empty()) std::memcpy(m_data.get(), bytes.data(), bytes.size());
    m_size = static_cast<std::int32_t>(bytes.size());
    m_position = 0;
    ++m_loads;
    return Status::ok();
}

void FileBuffer::setPosition(std::int32_t position) {
    m_position = std::clamp(position, 0, m_size);
}

}  // namespace hlx::base
