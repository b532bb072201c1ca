#pragma once

#include <functional>
#include <memory>

#include "platform/backend.h"

namespace xm {

// Opens the X11 display and prepares GTK; null when there is no display to open.
// `session_ending` runs when the system asks the program to end (SIGTERM, SIGHUP).
std::unique_ptr<Backend> OpenGtkBackend(std::function<void()> session_ending);

}  // namespace xm
