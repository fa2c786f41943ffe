// Fuzz target for the HEX reader, the check and the pre-flight analysis. For every input: reading record
// by record ends (each call moves the position on), never writes beyond a small record buffer, gives
// decoded length 0 with every failure; the check counts exactly the failures and over-long lines of that
// reading, bad checksums among them (or one, when no record is bad and none holds a byte) and rewinds;
// and the analysis counts the same syntax errors as the check.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "firmware/hex_image.h"
#include "firmware/hex_info.h"
#include "output/output_log.h"
#include "tests/support/null_output_window.h"

namespace {

hlx::firmware::HexImage& image() {
    static hlx::firmware::HexImage shared;
    return shared;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hlx::firmware;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    HexImage& hex = image();
    if (!hex.assign(bytes)) return 0;

    // A 16-byte area with guards around a buffer of 8, like a small look-ahead record.
    std::array<std::uint8_t, 24> area;
    area.fill(0xA5);
    const std::span<std::uint8_t> record(area.data() + 8, 8);
    int failures = 0;
    bool holdsData = false;  // a data record holding a byte; a file without one is an error of the check
    while (!hex.atEnd()) {
        const std::int32_t before = hex.position();
        int length = -1;
        const int code = hex.readRecord(record, length);
        if (hex.position() <= before || hex.position() > hex.size()) std::abort();
        if (code != 0 && code != 2 && code != 4 && code != 8) std::abort();
        if (length < 0 || length > 8 || (code != 0 && length != 0)) std::abort();
        if (code != 0 || hex.lastLineTooLong() || (length > 3 && record[0] + 5 != length) ||
            (length > 3 && !checksumMatches({record.data(), static_cast<std::size_t>(length)})))
            ++failures;
        else if (length > 5 && record[3] == 0)
            holdsData = true;
    }
    if (!holdsData && failures == 0) ++failures;
    for (int i = 0; i < 8; ++i)
        if (area[i] != 0xA5 || area[16 + i] != 0xA5) std::abort();

    hlx::test::NullOutputWindow window;  // only the number of lines the check writes matters
    hlx::output::OutputLog log(window);
    hex.setPosition(hex.size() / 2);
    hex.setPosition(0);
    const int errors = hex.checkFile(record, log);
    if (errors != failures || hex.position() != 0) std::abort();
    if (window.appends() != 2 + std::min(errors, 9)) std::abort();

    std::array<std::uint8_t, 512> scratch{};
    const int checkErrors = hex.checkFile(scratch, log);
    const HexReport report = analyseHex(bytes);
    if (report.syntaxErrors != checkErrors) std::abort();
    if (formatHexReport(report).empty()) std::abort();
    return 0;
}
