#include "app/program.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "platform/encoding.h"
#include "windows/windows.h"

namespace xm {
namespace {

class ProgramState final : public ProgramHooks {
 public:
  void WindowGone() override { QuitIfNoWindowLeft(); }
  [[noreturn]] void FatalError(std::string_view what) override { ReportFatalError(what, 0); }
  bool QuitPosted() const override { return quit_posted; }

  Backend* backend = nullptr;
  std::unique_ptr<Toolkit> toolkit;
  bool loop_started = false;
  bool quit_posted = false;
  bool shut_down = false;
};

ProgramState& State() {
  static ProgramState state;
  return state;
}

}  // namespace

std::int32_t RunProgram(Backend& backend) {
  ProgramState& s = State();
  s.backend = &backend;
  s.toolkit = std::make_unique<Toolkit>(backend, ProgramWindows(), s);
  SetCurrentToolkit(s.toolkit.get());
  LoadStartupWindow(MainWindow);
  RunMessageLoop();
  return 0;
}

void LoadStartupWindow(WindowId window) {
  if (!LoadWindow(window, std::nullopt, false)) ReportFatalError("无法创建启动窗口", 0);
}

void RunMessageLoop() {
  ProgramState& s = State();
  s.loop_started = true;
  if (!s.toolkit->AnyWindowLoaded()) return;
  while (!s.quit_posted) s.backend->RunOnce();
}

void QuitIfNoWindowLeft() {
  ProgramState& s = State();
  if (!s.loop_started || s.toolkit->AnyWindowLoaded()) return;
  s.quit_posted = true;
  s.backend->Wake();
}

void ShutDownProgram() {
  ProgramState& s = State();
  if (s.shut_down) return;
  s.shut_down = true;
  if (s.toolkit) {
    s.toolkit->ShutDown();
  } else if (s.backend != nullptr) {
    s.backend->ShutDown();
  }
}

void EndProgram(std::int32_t code) {
  ShutDownProgram();
  std::fflush(nullptr);
  std::_Exit(code);
}

void ReportFatalError(std::string_view what, std::int32_t code) {
  ProgramState& s = State();
  if (s.toolkit) s.toolkit->CutOffDispatch();
  std::string message = "程序运行时出错：" + std::string(what);
  if (code != 0) message += "（代码 " + std::to_string(code) + "）";
  std::fprintf(stderr, "xingmu-huibo: %s\n", message.c_str());
  if (s.backend != nullptr) {
    constexpr int kErrorOk = 0x10;
    std::string text = Utf8ToCp936(message);
    std::string title = Utf8ToCp936("星幕汇播");
    if (s.toolkit) {
      s.toolkit->ShowMessageBox(text, kErrorOk, title, std::nullopt);
    } else {
      s.backend->MessageBox(text, kErrorOk, title);
    }
  }
  EndProgram(-1);
}

void SessionEnding() {
  ProgramState& s = State();
  if (s.toolkit && !s.toolkit->QueryEndSession()) return;
  EndProgram(0);
}

}  // namespace xm
