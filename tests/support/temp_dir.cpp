#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace hlx::test {

TempDir::TempDir() {
    // The system's temporary folder ($TMPDIR, else /tmp; %TEMP% on Windows) and a name nobody else has:
    // create_directory fails on a name that exists, so a clash only costs another try.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) {
        ADD_FAILURE() << "no temporary folder: " << error.message();
        return;
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "hlx-test-%08x", static_cast<unsigned>(random()));
        const std::filesystem::path folder = base / name;
        if (std::filesystem::create_directory(folder, error)) {
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, error);
            m_path = folder.generic_string();
            return;
        }
        if (error) break;
    }
    ADD_FAILURE() << "cannot create a temporary folder in " << base.string() << ": " << error.message();
}

TempDir::~TempDir() {
    if (m_path.empty()) return;
    // A test may have taken permissions away; give them back so everything can be removed.
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::file(std::string_view name) const {
    std::string path = m_path;
    path += '/';
    path += name;
    return path;
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(m_path, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace hlx::test
