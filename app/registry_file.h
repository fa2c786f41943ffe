#pragma once
// RegistryFile: the keys and values of a registry export file (.reg) held in memory, so that settings kept
// in such a file can be read and written with the registry's own notions (keys, named values, string and
// 32-bit values) and the file can still be opened in an editor or imported on Windows.
//
// The format, as regedit writes it:
//
//     Windows Registry Editor Version 5.00            header ("REGEDIT4" in the older ANSI form)
//                                                     blank line
//     [HKEY_CURRENT_USER\QUENDAL\RTQ1.0\COMNO]        a key: the hive, then the path below it
//     "\\QUENDAL\\RTQ1.0\\COMNO"="3"                  a string value: "name"="text"
//     "Count"=dword:0000000a                          a 32-bit value: "dword:" and exactly 8 hex digits
//     @="text"                                        the key's default value (the value with no name)
//     "Data"=hex(2):25,00,50,00,\                     any other type as hex bytes; a line ending in a
//       41,00,00,00                                   backslash goes on in the next line
//                                                     blank line between keys
//
// Inside double quotes a backslash and a double quote are written with a backslash before them.
//
// parse is tolerant: a damaged or foreign file never fails; what can be read is read and every line it
// does not understand is skipped. It takes UTF-8 with or without byte-order mark, UTF-16LE with byte-order
// mark (what regedit writes), a REGEDIT4 file in Windows-1252, and LF or CR LF line ends. A key line
// without its closing bracket, and a deletion line "[-...]", end the current key, so the values below them
// are dropped rather than given to the key above. Values of types other than string and 32-bit are kept
// as their text and written back unchanged; "hex(1):" (a string in hex form) is read as a string. A
// "dword:" without exactly 8 hex digits is dropped. Keys of other hives ("[HKEY_LOCAL_MACHINE\...]") are
// kept and written back, but the accessors reach only HKEY_CURRENT_USER.
//
// serialise writes the 5.00 header, UTF-8 without byte-order mark and LF line ends; keys in the order in
// which they were first read or created, values in the order in which they were first written. A file
// whose text goes beyond ASCII (a file name with an umlaut) is written as regedit writes it instead,
// UTF-16LE with byte-order mark and CR LF line ends: Windows takes a 5.00 file without byte-order mark
// for its ANSI code page and would import such text garbled. A string
// holding a line feed cannot stand between quotes, so it is written as "hex(1):" (UTF-16LE bytes with the
// closing NUL, as regedit does; text that is not valid UTF-8 then has U+FFFD for its bad bytes). Parsing
// what serialise wrote gives the same keys and values back.
//
// Key paths and value names must not hold a line break: the format has no way to write one there.
// Key paths are given as the registry functions take them below the hive, with a leading backslash:
// "\QUENDAL\RTQ1.0\COMNO"; a missing leading backslash is added and trailing backslashes are dropped.
// Key paths and value names are compared without regard to ASCII case, as the registry does, and keep the
// spelling with which they were first created.
//
// Threads: a plain value; no shared state.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/registry.h"

namespace hlx::app {

class RegistryFile : public Registry {
public:
    static constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
    static constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";

    bool keyExists(std::string_view keyPath) const override;
    // Creates the key if it does not exist yet; an existing key is left as it is.
    void createKey(std::string_view keyPath) override;

    // The value's content if the key holds a value of that name and type; a value of another type reads
    // as nothing.
    std::optional<std::string> readString(std::string_view keyPath,
                                          std::string_view valueName) const override;
    std::optional<std::uint32_t> readDword(std::string_view keyPath,
                                           std::string_view valueName) const override;

    // Creates the key if needed and sets the value, replacing a value of the same name and any type.
    void writeString(std::string_view keyPath, std::string_view valueName, std::string_view text) override;
    void writeDword(std::string_view keyPath, std::string_view valueName, std::uint32_t number) override;

    static RegistryFile parse(std::string_view fileText);
    std::string serialise() const;

private:
    enum class ValueType { String, Dword, Other };
    struct Value {
        std::string name;
        ValueType type = ValueType::String;
        std::string text;  // String: the content; Other: the data text after '=', e.g. "hex:01,02"
        std::uint32_t number = 0;
    };
    struct Key {
        std::string hive;  // as spelled in the file, e.g. "HKEY_CURRENT_USER"
        std::string path;  // "" for the hive itself, else "\A\B"
        std::vector<Value> values;
        std::unordered_map<std::string, std::size_t> valueIndex;  // folded name -> index in values
    };

    const Value* findValue(std::string_view keyPath, std::string_view valueName) const;
    Key* findKey(std::string_view hive, std::string_view path);
    const Key* findKey(std::string_view hive, std::string_view path) const;
    Key& keyFor(std::string_view hive, std::string_view path);  // found or appended
    static Value& valueFor(Key& key, std::string_view name);    // found or appended
    static void writeValue(Key& key, std::string_view name, ValueType type, std::string text,
                           std::uint32_t number);

    std::vector<Key> m_keys;
    std::unordered_map<std::string, std::size_t> m_keyIndex;  // folded "hive\path" -> index in m_keys
};

}  // namespace hlx::app
