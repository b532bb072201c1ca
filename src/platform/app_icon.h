#pragma once

namespace xm {

// Makes the program's own icon (compiled in as SVG) the default icon of every window, at 48 and
// 128 pixels. Call after gtk_init and before the first window is created. Without an SVG image
// loader it leaves the default icon alone.
void SetDefaultWindowIcon();

}  // namespace xm
