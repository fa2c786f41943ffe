#pragma once
// What every job that sends a file shares about it: the path it opens, taken from the file edit's text, and
// the line that names the size limit when the file is too large for the file buffer. The downloads and the
// file sender both read their file through these, so the limit and the path read the same everywhere.

#include <cstdint>
#include <string>

namespace hlx::jobs {

// The path as it goes to the file system: the edit's text without control characters.
std::string filePathFromEdit(const std::string& editText);

// "Fehler: Datei ist zu groß (N Bytes, höchstens 30000000 Bytes)": written by a job (or a command) whose
// load into the file buffer failed as TooLarge, with the size the load found (FileBuffer::lastFileSize()).
std::string tooLargeLine(std::int64_t fileSize);

}  // namespace hlx::jobs
