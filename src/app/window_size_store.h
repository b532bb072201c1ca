#pragma once

#include <string>

// MainWindow's outer width and height, kept from one run to the next in two INI files.
namespace xm {

// The per-machine directory of the two files: XINGMU_STATE_DIR when set, else the built-in one.
std::string StateDirectory();

void SaveMainWindowSize();
void RestoreMainWindowSize();

}  // namespace xm
