#pragma once

namespace xm {

// Makes the program's own icon (compiled in as PNG at 48 and 128 pixels, drawn from
// data/xingmu-huibo.svg) the default icon of every window. Call after gtk_init and before the first
// window is created. If the images cannot be read it leaves the default icon alone.
void SetDefaultWindowIcon();

}  // namespace xm
