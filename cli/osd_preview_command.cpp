#include "cli/osd_preview_command.h"

#include "cli/command_line.h"

#include <cstdio>
#include <cstdlib>

#if HLX_WITH_PREVIEW_FORM
#include <QApplication>

#include "preview/tform4.h"
#endif

namespace hlx::cli {

#if HLX_WITH_PREVIEW_FORM

constexpr bool kPreviewBuilt = true;

namespace {

bool haveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace

int osdPreviewCommand(const char* programName) {
    if (!haveDisplay()) {
        std::fprintf(stderr,
                     "hlx: osd-preview opens a window, but there is no display here (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set); run it in a desktop session or under xvfb-run\n");
        return 1;
    }
    // Qt gets no arguments of ours to interpret.
    int argc = 1;
    char* argv[] = {const_cast<char*>(programName), nullptr};
    QApplication app(argc, argv);
    preview::TForm4 form;
    form.show();
    return app.exec() == 0 ? 0 : 1;
}

#else

constexpr bool kPreviewBuilt = false;

int osdPreviewCommand(const char*) {
    std::fprintf(stderr, "hlx: osd-preview is not available: this hlx was built without the Qt windows\n");
    return 2;
}

#endif

void addOsdPreviewCommand(CommandLine& commands) {
    if (!kPreviewBuilt) return;  // built without the Qt windows: the command is not offered
    commands.add("osd-preview", "open the OSD menu preview in a window of its own (needs a display)",
                 [] { return osdPreviewCommand("hlx"); });
}

}  // namespace hlx::cli
