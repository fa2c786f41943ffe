#include "terminal/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "terminal/text_codec.h"

namespace hlx::text {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr std::string_view kUtf16BEMark = "\xFE\xFF";

// Every CR LF, lone CR and lone LF becomes CR LF. Works on UTF-8, where CR and LF never occur inside a
// multi-byte sequence.
std::string normaliseLineBreaks(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 16);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

// An odd trailing byte is a character cut in half and becomes U+FFFD.
std::string utf16BytesToUtf8(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    if (bytes.size() % 2 != 0) units.push_back(u'\uFFFD');
    return utf16ToUtf8(units);
}

std::string utf16Bytes(std::string_view utf8, bool bigEndian) {
    const std::u16string units = utf8ToUtf16(utf8);
    std::string out;
    out.reserve(2 + units.size() * 2);
    out += bigEndian ? kUtf16BEMark : kUtf16LEMark;
    for (const char16_t unit : units) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    // Closes now; returns 0 or the errno of a failed close (which can report a delayed write error).
    int close() {
        if (m_fd < 0) return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Writes all of data; returns 0 or errno.
int writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A symbolic link is followed, so saving through it replaces the file it points to, not the link.
std::string resolveTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
}

// Creates a new, unique file beside target (same folder, so the final rename stays within one file
// system). Returns the descriptor or -1 with errno set.
int createTemporaryBeside(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix =
        folderOf(target) + "/." + nameOf(target) + ".tmp-" + std::to_string(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix + "-" + std::to_string(counter.fetch_add(1));
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

DecodedText decodeText(std::string_view fileBytes) {
    DecodedText result;
    std::string text;
    if (fileBytes.starts_with(kUtf8Mark)) {
        result.encoding = TextEncoding::Utf8Bom;
        text = toValidUtf8(fileBytes.substr(kUtf8Mark.size()));
    } else if (fileBytes.starts_with(kUtf16LEMark)) {
        result.encoding = TextEncoding::Utf16LE;
        text = utf16BytesToUtf8(fileBytes.substr(kUtf16LEMark.size()), false);
    } else if (fileBytes.starts_with(kUtf16BEMark)) {
        result.encoding = TextEncoding::Utf16BE;
        text = utf16BytesToUtf8(fileBytes.substr(kUtf16BEMark.size()), true);
    } else if (isValidUtf8(fileBytes)) {
        result.encoding = TextEncoding::Utf8;
        text.assign(fileBytes);
    } else {
        result.encoding = TextEncoding::Windows1252;
        text = windows1252ToUtf8(fileBytes);
    }
    result.text = normaliseLineBreaks(text);
    return result;
}

std::string encodeText(std::string_view utf8, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return std::string(utf8);
        case TextEncoding::Utf8Bom:
            return std::string(kUtf8Mark) + std::string(utf8);
        case TextEncoding::Utf16LE:
            return utf16Bytes(utf8, false);
        case TextEncoding::Utf16BE:
            return utf16Bytes(utf8, true);
        case TextEncoding::Windows1252:
            break;
    }
    return utf8ToWindows1252(utf8);
}

Status readTextFile(const std::string& path, DecodedText& out) {
    // Non-blocking open, so a FIFO picked by mistake cannot hang the caller; only regular files are read
    // (a device such as /dev/zero would never end).
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return systemError(path, errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return systemError(path, errno);
    if (S_ISDIR(info.st_mode)) return systemError(path, EISDIR);
    if (!S_ISREG(info.st_mode)) return Status::error(path + ": Not a regular file");
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return systemError(path, errno);
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    out = decodeText(bytes);
    return Status::ok();
}

Status writeTextFile(const std::string& path, std::string_view utf8, TextEncoding encoding) {
    const std::string bytes = encodeText(utf8, encoding);
    const std::string target = resolveTarget(path);

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) return systemError(path, EISDIR);

    std::string tempPath;
    FileDescriptor temp(createTemporaryBeside(target, tempPath));
    if (temp.get() < 0) return systemError(path, errno);

    // From here on every failure removes the temporary file; the old file is only ever replaced whole.
    const auto fail = [&](int err) {
        temp.close();
        ::unlink(tempPath.c_str());
        return systemError(path, err);
    };
    // Keep the old file's permissions; best effort, a file that cannot take them is still written.
    if (exists) (void)::fchmod(temp.get(), existing.st_mode & 07777);
    if (const int err = writeAll(temp.get(), bytes); err != 0) return fail(err);
    if (::fsync(temp.get()) != 0) return fail(errno);
    if (const int err = temp.close(); err != 0) return fail(err);
    if (::rename(tempPath.c_str(), target.c_str()) != 0) return fail(errno);

    // Make the rename itself durable; a failure here leaves the new file in place, so it is not reported.
    FileDescriptor folder(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    return Status::ok();
}

}  // namespace hlx::text
