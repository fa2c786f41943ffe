#pragma once
// hlx render-charts DIR: draws the ten measurement charts exactly as the program does at start-up and
// writes them as DIR/chart-A.png ... DIR/chart-J.png, so they can be looked at and compared. DIR is
// created when missing. Each file is written whole or not at all.
//
// Returns the exit status: 0 when all ten files are written; 2 after a message on stderr when the folder
// cannot be made or a file cannot be written, and when this hlx was built without Qt (the texts of the
// charts need it).

#include <string>

namespace hlx::cli {

int renderChartsCommand(const std::string& dir);

}  // namespace hlx::cli
