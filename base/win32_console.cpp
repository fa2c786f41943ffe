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

bool writeConsoleText(Stream& stream, std::string_view utf8) {
    stream.pending.append(utf8);
    const std::size_t whole = wholeSequences(stream.pending);
    if (whole == 0) return true;
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
            return false;
        at += written;
    }
    return true;
}

// The escapes of drawing in place, carried out through the console API on every console, with
// virtual-terminal processing or without, so that they act alike on all: "ESC [ K" clears from the cursor
// to the end of its line, "ESC [ n F" moves the cursor to the start of the line n above. Any other
// sequence passes to a console that takes escapes and is dropped by one that does not (never shown).
bool carryOut(Stream& stream, std::string_view sequence, char command, int count) {
    if (command != 'K' && command != 'F') return !stream.escapes || writeConsoleText(stream, sequence);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(stream.handle, &info)) return true;
    const COORD cursor = info.dwCursorPosition;
    if (command == 'K') {
        const auto rest = static_cast<DWORD>(std::max(0, info.dwSize.X - cursor.X));
        DWORD done = 0;
        (void)::FillConsoleOutputCharacterW(stream.handle, L' ', rest, cursor, &done);
        (void)::FillConsoleOutputAttribute(stream.handle, info.wAttributes, rest, cursor, &done);
    } else {
        const auto row = static_cast<SHORT>(std::max(0, cursor.Y - std::max(count, 1)));
        (void)::SetConsoleCursorPosition(stream.handle, COORD{0, row});
    }
    return true;
}

bool writeConsole(Stream& stream, std::string_view utf8) {
    for (;;) {
        const std::size_t escape = utf8.find('\033');
        if (escape == std::string_view::npos) return writeConsoleText(stream, utf8);
        if (!writeConsoleText(stream, utf8.substr(0, escape))) return false;
        std::size_t at = escape + 1;
        int count = 0;
        char command = 0;
        if (at < utf8.size() && utf8[at] == '[') {
            ++at;
            while (at < utf8.size() && utf8[at] >= '0' && utf8[at] <= '9')
                count = count * 10 + (utf8[at++] - '0');
            while (at < utf8.size() && (utf8[at] < 0x40 || utf8[at] > 0x7E))
                ++at;  // parameters, intermediates
            if (at < utf8.size()) command = utf8[at++];
        }
        at = std::min(at, utf8.size());
        if (!carryOut(stream, utf8.substr(escape, at - escape), command, count)) return false;
        utf8.remove_prefix(at);
    }
}

}  // namespace

void setUpConsole() {
    (void)streams();
}

bool writeText(std::FILE* out, std::string_view utf8) {
    Streams& all = streams();
    std::lock_guard lock(all.mutex);
    Stream* stream = streamOf(all, out);
    if (stream == nullptr || !stream->console)
        return std::fwrite(utf8.data(), 1, utf8.size(), out) == utf8.size() && std::fflush(out) == 0;
    std::fflush(out);  // what the C library still holds goes first
    return writeConsole(*stream, utf8);
}

// Written as the escapes: writeText carries them out where the console does not take them.
void clearLine(std::FILE* out) {
    (void)writeText(out, "\r\033[K");
}

void moveUp(std::FILE* out, int lines) {
    if (lines > 0) (void)writeText(out, "\033[" + std::to_string(lines) + "F");
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

int terminalRows(std::FILE* out) {
    const DWORD which = out == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(which), &info)) return 0;
    return info.srWindow.Bottom - info.srWindow.Top + 1;
}

}  // namespace hlx::base
