#pragma once

#include <cstdint>
#include <string_view>

#include "platform/backend.h"
#include "platform/toolkit.h"

// The frame of the program: entry, the message loop and the ways it ends.
namespace xm {

// Prepares the toolkit with the program's windows on `backend`, loads MainWindow and runs the
// message loop until the last program window is gone. Returns 0.
std::int32_t RunProgram(Backend& backend);

void LoadStartupWindow(WindowId window);
void RunMessageLoop();

// Called each time a program window is gone for good: once the main loop runs and no program
// window is left, the loop is told to stop.
void QuitIfNoWindowLeft();

// Ends the process at once with `code` (-1 gives status 255), after ShutDownProgram.
[[noreturn]] void EndProgram(std::int32_t code);

// Cuts off every handler, releases whatever is still loaded and the toolkit's own resources.
void ShutDownProgram();

// Says what failed (and the code, when not 0) in an error box, or on stderr when there is no
// display, then ends the program with -1. `what` is UTF-8.
[[noreturn]] void ReportFatalError(std::string_view what, std::int32_t code);

// The system asks whether the session may end (SIGTERM, SIGHUP): every loaded program window is
// asked; unless one refuses, the program ends without running anything more, saving nothing.
void SessionEnding();

}  // namespace xm
