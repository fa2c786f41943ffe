#pragma once
// TempDir: a fresh, private folder for one test, removed with everything in it when the object goes out of
// scope. Tests that work on real files (terminal text, settings, HEX and image files) create their files
// in it, so runs never see each other's files and nothing is left behind.
//
// writeFile and readFile move whole files as raw bytes; a failure is reported to GoogleTest as a failure
// of the running test (and readFile then returns an empty string).
//
// Threads: a TempDir is owned by one test; the helpers may be called from any thread.

#include <string>
#include <string_view>
#include <vector>

namespace hlx::test {

class TempDir {
public:
    TempDir();  // under $TMPDIR, else /tmp (Windows: %TEMP%)
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // The path of the entry name inside the folder (nothing is created).
    std::string file(std::string_view name) const;
    // The names in the folder itself, sorted (a left-over temporary file shows here).
    std::vector<std::string> entries() const;

private:
    std::string m_path;
};

void writeFile(const std::string& path, std::string_view bytes);
std::string readFile(const std::string& path);

}  // namespace hlx::test
