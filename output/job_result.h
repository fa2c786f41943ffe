#pragma once
// JobResult: the bit word in which a job (or a port re-open) collects its failures. It is handed to the
// result report once, at the job's end; the report writes one fixed German line per set bit, in the order
// of kReportTable, or the success line when the word is 0.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hlx::output {

namespace result {
inline constexpr std::int32_t kSenderError = 0x0001;  // a sender saw an error byte; no line of its own
inline constexpr std::int32_t kLineEnd = 0x0002;
inline constexpr std::int32_t kBadCharacter = 0x0004;
inline constexpr std::int32_t kLineStart = 0x0008;
inline constexpr std::int32_t kShortWrite = 0x0010;
inline constexpr std::int32_t kTimeout = 0x0020;
inline constexpr std::int32_t kErrorByte = 0x0040;
inline constexpr std::int32_t kFileOpen = 0x0080;
inline constexpr std::int32_t kCheckFailed = 0x0100;
inline constexpr std::int32_t kConfigure = 0x0400;
inline constexpr std::int32_t kOpen = 0x0800;
inline constexpr std::int32_t kNoSuccessLine = 0x1000;  // makes the word non-zero; writes nothing
// The job was cut short by an unexpected exception; the job frame writes the line with the reason itself.
inline constexpr std::int32_t kJobAborted = 0x2000;
}  // namespace result

struct ReportLine {
    std::int32_t bit;
    std::string_view text;  // UTF-8
};

inline constexpr std::string_view kSuccessLine = "Datei fehlerfrei übertragen";

// The report's order, which is not the order of the bit values.
inline constexpr std::array<ReportLine, 10> kReportTable{{
    {result::kFileOpen, "Fehler: Datei kann nicht geöffnet werden"},
    {result::kLineEnd, "Fehler: Unerwartetes Zeilenende"},
    {result::kBadCharacter, "Fehler: Unerwartetes Zeichen"},
    {result::kLineStart, "Fehler: Falscher Zeilenstart"},
    {result::kShortWrite, "Fehler: Nicht alle Daten konnten gesendet werden"},
    {result::kTimeout, "Fehler: Zeitüberschreitung"},
    {result::kErrorByte, "Fehler: Bestätigungsfehler"},
    {result::kCheckFailed, "Fehler: Überprüfung der Datei fehlerhaft"},
    {result::kConfigure, "Fehler: COM-Parameter konnten nicht gesetzt werden"},
    {result::kOpen, "Fehler: COM Port konnte nicht geöffnet werden"},
}};

// The lines the result report writes for a word, in order.
std::vector<std::string> reportLines(std::int32_t word);

}  // namespace hlx::output
