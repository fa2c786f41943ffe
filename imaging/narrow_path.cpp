#include "imaging/narrow_path.h"

#include "base/atomic_file.h"
#include "base/text_codec.h"

namespace hlx::imaging {

std::optional<std::string> narrowPath(std::u16string_view path) {
    std::string name;
    for (char16_t c : path) {
        if (c == 0) break;
        if (c < 0x20 || c == u'"') continue;
        if (name.size() == kMaxNarrowNameLength) return std::nullopt;
        name.push_back(static_cast<char>(c & 0xFF));
    }
    return name;
}

std::optional<std::string> narrowFileName(std::string_view uiPath) {
    std::optional<std::string> narrow = narrowPath(base::utf8ToUtf16(uiPath));
    if (!narrow) return std::nullopt;
    return base::windows1252ToUtf8(*narrow);
}

base::Status writeNarrowedFile(std::string_view uiPath, std::string_view bytes, base::FileSystem& files) {
    const std::optional<std::string> name = narrowFileName(uiPath);
    if (!name)
        return base::Status::error(base::StatusCode::TooLarge,
                                   "Fehler: " + std::string(uiPath) +
                                       " nicht geschrieben: Dateiname länger als " +
                                       std::to_string(kMaxNarrowNameLength) + " Zeichen");
    return base::replaceFileAtomically(*name, bytes, 0666, files)
        .withContext("Fehler: " + *name + " nicht geschrieben");
}

}  // namespace hlx::imaging
