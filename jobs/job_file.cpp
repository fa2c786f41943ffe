#include "jobs/job_file.h"

#include "base/file_buffer.h"

namespace hlx::jobs {

std::string filePathFromEdit(const std::string& editText) {
    // File names on this system are UTF-8 bytes; control characters are dropped as the window's 8-bit
    // conversion drops them, but other characters keep their encoding so a path with umlauts opens.
    std::string path;
    path.reserve(editText.size());
    for (char c : editText)
        if (static_cast<unsigned char>(c) >= 0x20) path += c;
    return path;
}

std::string tooLargeLine(std::int64_t fileSize) {
    return "Fehler: Datei ist zu groß (" + std::to_string(fileSize) + " Bytes, höchstens " +
           std::to_string(base::FileBuffer::kCapacity) + " Bytes)";
}

}  // namespace hlx::jobs
