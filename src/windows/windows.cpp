#include "windows/windows.h"

namespace xm {

std::span<const WindowSpec* const> ProgramWindows() {
  static const WindowSpec* const kWindows[] = {&kMainWindowSpec, &kNoticeWindowSpec,
                                               &kToolMenuWindowSpec};
  return kWindows;
}

}  // namespace xm
