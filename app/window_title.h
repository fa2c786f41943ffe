#pragma once
// The main window's caption, also the caption of the error dialog shown when start-up fails.

namespace hlx::app {

inline constexpr const char kWindowTitle[] = "Quendal - RTQ1.3 HLX Service Tool";

}  // namespace hlx::app
