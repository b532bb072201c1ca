#include "app/program.h"
#include "platform/gtk_backend.h"

// The program takes no arguments.
int main() {
  std::unique_ptr<xm::Backend> backend = xm::OpenGtkBackend([] { xm::SessionEnding(); });
  if (!backend) xm::ReportFatalError("无法连接到图形显示（未设置 DISPLAY 或无法打开）", 0);
  const std::int32_t code = xm::RunProgram(*backend);
  xm::ShutDownProgram();
  return code;
}
