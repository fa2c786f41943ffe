#include "app/registry_file.h"

#include <algorithm>
#include <cstdio>

#include "base/text_codec.h"

namespace hlx::app {
namespace {

// Windows reads a 5.00 file without byte-order mark in its ANSI code page, so text beyond ASCII would come
// out garbled on import; regedit's own encoding is UTF-16LE with byte-order mark and CR LF line ends.
// ASCII text is the same in every encoding and stays as it is (readable and diffable on Linux).
std::string inRegeditEncoding(const std::string& utf8) {
    const bool ascii =
        std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return utf8;
    std::string bytes = "\xFF\xFE";
    const auto put = [&bytes](char16_t unit) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    };
    for (const char16_t unit : base::utf8ToUtf16(utf8)) {
        if (unit == u'\n') put(u'\r');
        put(unit);
    }
    return bytes;
}

constexpr std::string_view kHivePrefix = "HKEY_";
constexpr std::string_view kDwordPrefix = "dword:";
constexpr std::string_view kHexPrefix = "hex";
constexpr std::string_view kHexStringPrefix = "hex(1):";
constexpr std::size_t kHexBytesPerLine = 24;  // keeps "hex(1):" lines about as wide as regedit's

char foldChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = foldChar(c);
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (foldChar(text[i]) != foldChar(prefix[i])) return false;
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "\A\B\" and "A\B" both become "\A\B"; "" and "\" become "" (the hive itself).
std::string normaliseKeyPath(std::string_view path) {
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    std::string out;
    if (!path.empty() && path.front() != '\\') out += '\\';
    out += path;
    return out;
}

// The file as UTF-8 text: UTF-16LE is converted, a UTF-8 byte-order mark is dropped, and 8-bit text that
// is not UTF-8 is taken as Windows-1252, whatever its header says (REGEDIT4 is the ANSI form, and an
// 8-bit file from Windows is in that code page). So the text is always valid UTF-8 and survives being
// written back as UTF-16LE unchanged.
std::string decodeFileText(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        bytes.remove_prefix(2);
        std::u16string units(bytes.size() / 2, u'\0');  // an odd last byte is dropped
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                             (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
        return base::utf16ToUtf8(units);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (!base::isValidUtf8(bytes)) return base::windows1252ToUtf8(bytes);
    return std::string(bytes);
}

// Reads a double-quoted text starting at text[pos] == '"'; on success pos is just past the closing quote.
// A backslash escapes a backslash or a double quote; before anything else it stands for itself.
bool readQuoted(std::string_view text, std::size_t& pos, std::string& out) {
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) {
            out += text[++pos];
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// "hex(1):" data (comma-separated bytes of UTF-16LE text, normally ending in a NUL) as UTF-8.
std::optional<std::string> decodeHexString(std::string_view data) {
    data.remove_prefix(kHexStringPrefix.size());
    std::string bytes;
    while (!trim(data).empty()) {
        const std::size_t comma = data.find(',');
        const std::string_view token = trim(data.substr(0, comma));
        if (token.size() != 2 || hexDigit(token[0]) < 0 || hexDigit(token[1]) < 0) return std::nullopt;
        bytes += static_cast<char>(hexDigit(token[0]) * 16 + hexDigit(token[1]));
        data = comma == std::string_view::npos ? std::string_view{} : data.substr(comma + 1);
    }
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::u16string units;
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (!units.empty() && units.back() == u'\0') units.pop_back();  // the terminator, not the text
    return base::utf16ToUtf8(units);
}

void appendHexString(std::string& out, std::string_view text) {
    std::u16string units = base::utf8ToUtf16(text);
    units += u'\0';
    out += kHexStringPrefix;
    std::size_t count = 0;
    for (const char16_t unit : units) {
        for (const unsigned byte : {unit & 0xFFu, (unit >> 8) & 0xFFu}) {
            if (count > 0) out += (count % kHexBytesPerLine == 0) ? ",\\\n  " : ",";
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02x", byte);
            out += digits;
            ++count;
        }
    }
}

bool startsNewEntry(std::string_view line) {
    return !line.empty() && (line.front() == '[' || line.front() == '"' || line.front() == '@');
}

}  // namespace

bool RegistryFile::keyExists(std::string_view keyPath) const {
    return findKey(kCurrentUser, normaliseKeyPath(keyPath)) != nullptr;
}

void RegistryFile::createKey(std::string_view keyPath) {
    keyFor(kCurrentUser, normaliseKeyPath(keyPath));
}

std::optional<std::string> RegistryFile::readString(std::string_view keyPath,
                                                    std::string_view valueName) const {
    const Value* value = findValue(keyPath, valueName);
    if (value == nullptr || value->type != ValueType::String) return std::nullopt;
    return value->text;
}

std::optional<std::uint32_t> RegistryFile::readDword(std::string_view keyPath,
                                                     std::string_view valueName) const {
    const Value* value = findValue(keyPath, valueName);
    if (value == nullptr || value->type != ValueType::Dword) return std::nullopt;
    return value->number;
}

void RegistryFile::writeString(std::string_view keyPath, std::string_view valueName, std::string_view text) {
    writeValue(keyFor(kCurrentUser, normaliseKeyPath(keyPath)), valueName, ValueType::String,
               std::string(text), 0);
}

void RegistryFile::writeDword(std::string_view keyPath, std::string_view valueName, std::uint32_t number) {
    writeValue(keyFor(kCurrentUser, normaliseKeyPath(keyPath)), valueName, ValueType::Dword, {}, number);
}

RegistryFile RegistryFile::parse(std::string_view fileText) {
    RegistryFile file;
    const std::string text = decodeFileText(fileText);
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(trim(std::string_view(text).substr(start, end - start)));
        start = end + 1;
    }

    constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
    std::size_t current = kNoKey;  // index of the key the value lines belong to; none before the first key
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty()) continue;
        if (line.front() == '[') {
            current = kNoKey;
            if (line.back() != ']' || line.size() < 2) continue;  // damaged: its values are dropped
            const std::string_view name = line.substr(1, line.size() - 2);
            if (!startsWithNoCase(name, kHivePrefix)) continue;  // a deletion "[-...]" or not a key at all
            const std::size_t slash = name.find('\\');
            const std::string_view hive = name.substr(0, slash);
            const std::string_view path =
                slash == std::string_view::npos ? std::string_view{} : name.substr(slash);
            current =
                static_cast<std::size_t>(&file.keyFor(hive, normaliseKeyPath(path)) - file.m_keys.data());
            continue;
        }
        if (current == kNoKey || (line.front() != '"' && line.front() != '@')) continue;

        std::string name;
        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!readQuoted(line, pos, name)) {
            continue;
        }
        while (pos < line.size() && isBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        while (pos < line.size() && isBlank(line[pos])) ++pos;
        const std::string_view data = line.substr(pos);

        if (!data.empty() && data.front() == '"') {
            std::string content;
            std::size_t end = 0;
            if (!readQuoted(data, end, content) || !trim(data.substr(end)).empty()) continue;
            writeValue(file.m_keys[current], name, ValueType::String, std::move(content), 0);
        } else if (startsWithNoCase(data, kDwordPrefix)) {
            const std::string_view digits = data.substr(kDwordPrefix.size());
            if (digits.size() != 8) continue;
            std::uint32_t number = 0;
            bool valid = true;
            for (const char c : digits) {
                valid = valid && hexDigit(c) >= 0;
                number = (number << 4) | static_cast<std::uint32_t>(valid ? hexDigit(c) : 0);
            }
            if (valid) writeValue(file.m_keys[current], name, ValueType::Dword, {}, number);
        } else if (startsWithNoCase(data, kHexPrefix)) {
            // Joins the continuation lines; a line that starts a key or value ends a damaged value early.
            std::string raw(data);
            while (!raw.empty() && raw.back() == '\\') {
                raw.pop_back();
                while (!raw.empty() && isBlank(raw.back())) raw.pop_back();
                if (i + 1 < lines.size() && !startsNewEntry(lines[i + 1])) raw += lines[++i];
            }
            if (startsWithNoCase(raw, kHexStringPrefix)) {
                if (std::optional<std::string> decoded = decodeHexString(raw)) {
                    writeValue(file.m_keys[current], name, ValueType::String, std::move(*decoded), 0);
                    continue;
                }
            }
            writeValue(file.m_keys[current], name, ValueType::Other, std::move(raw), 0);
        }
        // Anything else ("=-" deletes a value on import, unknown notations) is skipped.
    }
    return file;
}

std::string RegistryFile::serialise() const {
    std::string out(kHeader);
    out += "\n\n";
    for (const Key& key : m_keys) {
        out += '[';
        out += key.hive;
        out += key.path;
        out += "]\n";
        for (const Value& value : key.values) {
            if (value.name.empty()) {
                out += '@';
            } else {
                appendQuoted(out, value.name);
            }
            out += '=';
            switch (value.type) {
                case ValueType::String:
                    if (value.text.find('\n') == std::string::npos) {
                        appendQuoted(out, value.text);
                    } else {
                        appendHexString(out, value.text);
                    }
                    break;
                case ValueType::Dword: {
                    char digits[9];
                    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.number));
                    out += kDwordPrefix;
                    out += digits;
                    break;
                }
                case ValueType::Other:
                    out += value.text;
                    break;
            }
            out += '\n';
        }
        out += '\n';
    }
    return inRegeditEncoding(out);
}

const RegistryFile::Value* RegistryFile::findValue(std::string_view keyPath,
                                                   std::string_view valueName) const {
    const Key* key = findKey(kCurrentUser, normaliseKeyPath(keyPath));
    if (key == nullptr) return nullptr;
    const auto it = key->valueIndex.find(fold(valueName));
    return it == key->valueIndex.end() ? nullptr : &key->values[it->second];
}

RegistryFile::Key* RegistryFile::findKey(std::string_view hive, std::string_view path) {
    const auto it = m_keyIndex.find(fold(hive) + fold(path));
    return it == m_keyIndex.end() ? nullptr : &m_keys[it->second];
}

const RegistryFile::Key* RegistryFile::findKey(std::string_view hive, std::string_view path) const {
    const auto it = m_keyIndex.find(fold(hive) + fold(path));
    return it == m_keyIndex.end() ? nullptr : &m_keys[it->second];
}

RegistryFile::Key& RegistryFile::keyFor(std::string_view hive, std::string_view path) {
    if (Key* key = findKey(hive, path)) return *key;
    m_keyIndex.emplace(fold(hive) + fold(path), m_keys.size());
    Key& key = m_keys.emplace_back();
    key.hive = hive;
    key.path = path;
    return key;
}

RegistryFile::Value& RegistryFile::valueFor(Key& key, std::string_view name) {
    const auto [it, inserted] = key.valueIndex.emplace(fold(name), key.values.size());
    if (inserted) key.values.push_back(Value{std::string(name), ValueType::String, {}, 0});
    return key.values[it->second];
}

void RegistryFile::writeValue(Key& key, std::string_view name, ValueType type, std::string text,
                              std::uint32_t number) {
    Value& value = valueFor(key, name);
    value.type = type;
    value.text = std::move(text);
    value.number = number;
}

}  // namespace hlx::app
