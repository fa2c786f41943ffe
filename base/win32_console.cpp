#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>

#include "base/console.h"

namespace hlx::base {
namespace {

// What the process knows of one of its standard streams.
struct Stream {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool console = false;  // a console screen buffer, not a file, pipe or NUL
    bool escapes = false;  // the console interprets escape sequences (virtual-terminal processing)
    DWORD originalMode = 0;
    std::string pending;  // the start of a UTF-8 sequence whose end a later call brings
};

struct Streams {
    std::mutex mutex;  // one call's text at a time, on both streams
    Stream out;
    Stream err;
};

void look(Stream& stream, DWORD which) {
    stream.handle = ::GetStdHandle(which);
    DWORD mode = 0;
    stream.console = stream.handle != nullptr && stream.handle != INVALID_HANDLE_VALUE &&
                     ::GetConsoleMode(stream.handle, &mode) != 0;
    if (!stream.console) return;
    stream.originalMode = mode;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
        stream.escapes = true;
        return;
    }
    // A console without virtual-terminal processing (before Windows 10) refuses the mode; it is drawn
    // through the console API then. Read back, as a console may take the call and drop the flag.
    if (::SetConsoleMode(stream.handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 &&
        ::GetConsoleMode(stream.handle, &mode) != 0)
        stream.escapes = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void restoreModes();

Streams& streams() {
    static Streams* const all = [] {
        auto* made = new Streams;  // lives to the process's end: restoreModes runs at exit
        look(made->out, STD_OUTPUT_HANDLE);
        look(made->err, STD_ERROR_HANDLE);
        std::atexit(restoreModes);
        return made;
    }();
    return *all;
}

void restoreModes() {
    Streams& all = streams();
    std::lock_guard lock(all.mutex);
    for (Stream* stream : {&all.out, &all.err})
        if (stream->console) (void)::SetConsoleMode(stream->handle, stream->originalMode);
}

// The stream behind stdout or stderr; nullptr for any other FILE.
Stream* streamOf(Streams& all, std::FILE* out) {
    if (out == stdout) return &all.out;
    if (out == stderr) return &all.err;
    return nullptr;
}

// The length of text's longest beginning that ends with a whole UTF-8 sequence (a sequence cut at the
// end waits for the rest; bytes that are no UTF-8 at all are passed on and shown as U+FFFD).
std::size_t wholeSequences(std::string_view text) {
    const std::size_t size = text.size();
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, size); ++back) {
        const auto byte = static_cast<unsigned char>(text[size - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

void writeConsole(Stream& stream, std::string_view utf8) {
    stream.pending.append(utf8);
    const std::size_t whole = wholeSequences(stream.pending);
    if (whole == 0) return;
    const int units =
        ::MultiByteToWideChar(CP_UTF8, 0, stream.pending.data(), static_cast<int>(whole), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(units, 0)), L'\0');
    if (units > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, stream.pending.data(), static_cast<int>(whole), wide.data(), units);
    stream.pending.erase(0, whole);
    // In pieces: older consoles refuse a single write of more than 64 KiB.
    constexpr std::size_t kPiece = 8192;
    for (std::size_t at = 0; at < wide.size();) {
        const auto count = static_cast<DWORD>(std::min(kPiece, wide.size() - at));
        DWORD written = 0;
        if (!::WriteConsoleW(stream.handle, wide.data() + at, count, &written, nullptr) || written == 0)
            return;
        at += written;
    }
}

}  // namespace

void setUpConsole() {
    (void)streams();
}

void writeText(std::FILE* out, std::string_view utf8) {
    Streams& all = streams();
    std::lock_guard lock(all.mutex);
    Stream* stream = streamOf(all, out);
    if (stream == nullptr || !stream->console) {
        std::fwrite(utf8.data(), 1, utf8.size(), out);
        std::fflush(out);
        return;
    }
    std::fflush(out);  // what the C library still holds goes first
    writeConsole(*stream, utf8);
}

void clearLine(std::FILE* out) {
    Streams& all = streams();
    Stream* stream = streamOf(all, out);
    if (stream == nullptr || !stream->console || stream->escapes) return writeText(out, "\r\033[K");
    std::lock_guard lock(all.mutex);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(stream->handle, &info)) return;
    const COORD start{0, info.dwCursorPosition.Y};
    DWORD done = 0;
    (void)::FillConsoleOutputCharacterW(stream->handle, L' ', static_cast<DWORD>(info.dwSize.X), start,
                                        &done);
    (void)::FillConsoleOutputAttribute(stream->handle, info.wAttributes, static_cast<DWORD>(info.dwSize.X),
                                       start, &done);
    (void)::SetConsoleCursorPosition(stream->handle, start);
}

void moveUp(std::FILE* out, int lines) {
    if (lines <= 0) return;
    Streams& all = streams();
    Stream* stream = streamOf(all, out);
    if (stream == nullptr || !stream->console || stream->escapes)
        return writeText(out, "\033[" + std::to_string(lines) + "F");
    std::lock_guard lock(all.mutex);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(stream->handle, &info)) return;
    const auto row = static_cast<SHORT>(std::max(0, info.dwCursorPosition.Y - lines));
    (void)::SetConsoleCursorPosition(stream->handle, COORD{0, row});
}

bool stderrIsTerminal() {
    return streams().err.console;
}

bool stdoutIsTerminal() {
    return streams().out.console;
}

int terminalColumns(std::FILE* out) {
    Stream* stream = streamOf(streams(), out);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (stream == nullptr || !stream->console || !::GetConsoleScreenBufferInfo(stream->handle, &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace hlx::base
