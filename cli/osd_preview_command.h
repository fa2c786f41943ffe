#pragma once
// hlx osd-preview: opens the OSD menu preview form (TForm4) as a window of its own, on page 1 with its
// information view, so that the menu can be browsed, its values edited in memory and the form looked at.
// Nothing is sent to a monitor and nothing is saved.
//
// Returns the exit status: 0 once the window is closed; 1 when there is no display to open it on (no
// DISPLAY or WAYLAND_DISPLAY, and no QT_QPA_PLATFORM chosen); 2 when this hlx was built without the Qt
// windows. The reason is written to stderr.

namespace hlx::cli {

int osdPreviewCommand(const char* programName);

class CommandLine;
void addOsdPreviewCommand(CommandLine& commands);

}  // namespace hlx::cli
