// The X side of bench/run: watches top-level windows come up and move, and acts on them, with
// every moment stamped from CLOCK_MONOTONIC (the clock of Python's time.monotonic_ns()).
//
// It listens on the root window with SubstructureNotifyMask and on every new top-level window
// with StructureNotifyMask, so it learns of each window manager frame (ReparentNotify), each map
// and each frame move as the X server reports them: no polling, the resolution is that of the
// event delivery (microseconds).
//
// Lines written to stdout, one per event:
//   ready NS
//   viewable NS CLIENT INSTANCE X Y W H PID CPU
//                                          a window with that WM_CLASS instance became viewable;
//                                          X Y W H is its outer rectangle (the frame's), PID its
//                                          _NET_WM_PID (0: unknown) and CPU the nanoseconds that
//                                          process had run on a CPU by then, all threads (-1:
//                                          unknown)
//   unmapped NS CLIENT INSTANCE
//   frame NS CLIENT INSTANCE X Y W H       the window manager moved or resized the frame
//   client NS CLIENT INSTANCE X Y W H S    the client heard of its place (S = 1: synthetic, from
//                                          the window manager; X Y are then root coordinates)
//   sent NS WHAT ...                       a command's request left for the server at NS
//   error TEXT
// Commands read from stdin, one per line (window ids in decimal):
//   move WID X Y                  XMoveWindow on a client; the manager places its frame at X Y
//   click WID X Y                 pointer to client point X Y, button 1 down, up 15 ms later
//   drag WID DX DY STEPS MS       button 1 down in the title bar, STEPS motions to DX DY away,
//                                 one every MS milliseconds, then up
//   quit
// Usage: bench_dock_probe   (DISPLAY names the screen)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace xm {
namespace {

std::int64_t Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// Windows come and go while we look at them; a request on a gone window is not a failure.
int IgnoreXError(Display*, XErrorEvent*) {
  return 0;
}

struct DisplayClose {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

struct Client {
  Window frame = 0;
  std::string instance;  // empty until known
  bool viewable = false;
};

class Probe {
 public:
  explicit Probe(Display* display) : display_(display), root_(DefaultRootWindow(display)) {
    XSelectInput(display_, root_, SubstructureNotifyMask);
    // Windows that exist already: watch them too.
    Window root_return = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, root_, &root_return, &parent, &children, &count) != 0) {
      for (unsigned int i = 0; i < count; ++i) Watch(children[i]);
      if (children != nullptr) XFree(children);
    }
    XSync(display_, False);
    std::printf("ready %" PRId64 "\n", Now());
    std::fflush(stdout);
  }

  int Run() {
    std::string input;
    for (;;) {
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        Handle(event);
      }
      RunDue();
      pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
      int timeout = -1;
      if (!due_.empty()) {
        timeout = static_cast<int>((due_.begin()->first - Now() + 999'999) / 1'000'000);
        if (timeout < 0) timeout = 0;
      }
      if (poll(fds, 2, timeout) < 0) continue;
      if ((fds[1].revents & (POLLIN | POLLHUP)) != 0) {
        char buffer[4096];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) return 0;  // whoever drives us is gone
        input.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = input.find('\n')) != std::string::npos;) {
          const std::string line = input.substr(0, end);
          input.erase(0, end + 1);
          if (!Command(line)) return 0;
        }
        XFlush(display_);
      }
    }
  }

 private:
  void Watch(Window window) {
    if (clients_.count(window) != 0 || frames_.count(window) != 0) return;
    XSelectInput(display_, window, StructureNotifyMask);
    clients_[window] = Client{};
  }

  std::string Instance(Window window) {
    XClassHint hint{};
    std::string name;
    if (XGetClassHint(display_, window, &hint) != 0) {
      if (hint.res_name != nullptr) name = hint.res_name;
      if (hint.res_name != nullptr) XFree(hint.res_name);
      if (hint.res_class != nullptr) XFree(hint.res_class);
    }
    return name;
  }

  long WindowPid(Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = 0;
    if (XGetWindowProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), 0, 1,
                           False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data != nullptr && format == 32 && count == 1) {
      pid = *reinterpret_cast<const long*>(data);
    }
    if (data != nullptr) XFree(data);
    return pid;
  }

  // Time on a CPU of every thread of the process so far (the first field of schedstat).
  static std::int64_t CpuNs(long pid) {
    if (pid <= 0) return -1;
    std::error_code error;
    std::int64_t total = 0;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
      std::ifstream stat(task.path() / "schedstat");
      std::int64_t ns = 0;
      if (stat >> ns) total += ns;
    }
    return error ? -1 : total;
  }

  // The outer rectangle: the frame with its border, or the window itself without a manager.
  Rect Outer(Window client, const Client& info) {
    Window root_return = 0;
    int x = 0, y = 0;
    unsigned int width = 0, height = 0, border = 0, depth = 0;
    const Window window = info.frame != 0 ? info.frame : client;
    XGetGeometry(display_, window, &root_return, &x, &y, &width, &height, &border, &depth);
    return {x, y, static_cast<int>(width + 2 * border), static_cast<int>(height + 2 * border)};
  }

  // After any map: which watched windows became viewable.
  void CheckViewable(std::int64_t now) {
    for (auto& [window, info] : clients_) {
      if (info.viewable) continue;
      XWindowAttributes attributes{};
      if (XGetWindowAttributes(display_, window, &attributes) == 0) continue;
      if (attributes.map_state != IsViewable) continue;
      if (info.instance.empty()) info.instance = Instance(window);
      if (info.instance.empty()) continue;  // not a program's window
      info.viewable = true;
      const Rect r = Outer(window, info);
      const long pid = WindowPid(window);
      std::printf("viewable %" PRId64 " %lu %s %d %d %d %d %ld %" PRId64 "\n", now, window,
                  info.instance.c_str(), r.x, r.y, r.width, r.height, pid, CpuNs(pid));
    }
    std::fflush(stdout);
  }

  void Handle(const XEvent& event) {
    const std::int64_t now = Now();
    switch (event.type) {
      case CreateNotify:
        if (event.xcreatewindow.parent == root_) Watch(event.xcreatewindow.window);
        break;
      case ReparentNotify: {
        const Window window = event.xreparent.window;
        const Window parent = event.xreparent.parent;
        auto it = clients_.find(window);
        if (it == clients_.end()) break;
        if (parent == root_) {
          if (it->second.frame != 0) frames_.erase(it->second.frame);
          it->second.frame = 0;
        } else {
          it->second.frame = parent;
          frames_[parent] = window;
          clients_.erase(parent);  // a frame, not a program's window
        }
        break;
      }
      case MapNotify:
        CheckViewable(now);
        break;
      case UnmapNotify: {
        Window window = event.xunmap.window;
        if (auto frame = frames_.find(window); frame != frames_.end()) window = frame->second;
        auto it = clients_.find(window);
        if (it != clients_.end() && it->second.viewable) {
          it->second.viewable = false;
          std::printf("unmapped %" PRId64 " %lu %s\n", now, window, it->second.instance.c_str());
          std::fflush(stdout);
        }
        break;
      }
      case DestroyNotify: {
        const Window window = event.xdestroywindow.window;
        auto it = clients_.find(window);
        if (it != clients_.end()) {
          if (it->second.viewable) {
            std::printf("unmapped %" PRId64 " %lu %s\n", now, window, it->second.instance.c_str());
            std::fflush(stdout);
          }
          if (it->second.frame != 0) frames_.erase(it->second.frame);
          clients_.erase(it);
        }
        frames_.erase(window);
        break;
      }
      case ConfigureNotify: {
        const XConfigureEvent& c = event.xconfigure;
        if (c.event == root_) {
          auto frame = frames_.find(c.window);
          if (frame == frames_.end()) break;
          const Client& info = clients_[frame->second];
          if (info.instance.empty()) break;
          std::printf("frame %" PRId64 " %lu %s %d %d %d %d\n", now, frame->second,
                      info.instance.c_str(), c.x, c.y, c.width + 2 * c.border_width,
                      c.height + 2 * c.border_width);
          std::fflush(stdout);
        } else if (c.event == c.window) {
          auto it = clients_.find(c.window);
          if (it == clients_.end() || it->second.instance.empty()) break;
          std::printf("client %" PRId64 " %lu %s %d %d %d %d %d\n", now, c.window,
                      it->second.instance.c_str(), c.x, c.y, c.width, c.height,
                      c.send_event ? 1 : 0);
          std::fflush(stdout);
        }
        break;
      }
      default:
        break;
    }
  }

  void Sent(const std::string& what) {
    std::printf("sent %" PRId64 " %s\n", Now(), what.c_str());
    std::fflush(stdout);
  }

  void At(std::int64_t when, std::function<void()> action) {
    due_.emplace(when, std::move(action));
  }

  void RunDue() {
    bool ran = false;
    while (!due_.empty() && due_.begin()->first <= Now()) {
      auto action = std::move(due_.begin()->second);
      due_.erase(due_.begin());
      action();
      ran = true;
    }
    if (ran) XFlush(display_);
  }

  bool Command(const std::string& line) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "quit") return false;
    unsigned long window = 0;
    if (verb == "move") {
      int x = 0, y = 0;
      if (!(words >> window >> x >> y)) return Error(line);
      const std::int64_t now = Now();
      XMoveWindow(display_, window, x, y);
      XFlush(display_);
      std::printf("sent %" PRId64 " move %lu %d %d\n", now, window, x, y);
      std::fflush(stdout);
    } else if (verb == "click") {
      int x = 0, y = 0;
      if (!(words >> window >> x >> y)) return Error(line);
      XWarpPointer(display_, 0, window, 0, 0, 0, 0, x, y);
      XTestFakeButtonEvent(display_, 1, True, CurrentTime);
      XFlush(display_);
      At(Now() + 15'000'000, [this, window] {
        const std::int64_t now = Now();
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XFlush(display_);
        std::printf("sent %" PRId64 " click %lu\n", now, window);
        std::fflush(stdout);
      });
    } else if (verb == "drag") {
      int dx = 0, dy = 0, steps = 0, ms = 0;
      if (!(words >> window >> dx >> dy >> steps >> ms) || steps <= 0) return Error(line);
      // A point in the title bar, well away from its buttons.
      int x = 0, y = 0;
      Window child = 0;
      XTranslateCoordinates(display_, window, root_, 200, -8, &x, &y, &child);
      const int screen = DefaultScreen(display_);
      XTestFakeMotionEvent(display_, screen, x, y, CurrentTime);
      XTestFakeButtonEvent(display_, 1, True, CurrentTime);
      XFlush(display_);
      Sent("press " + std::to_string(x) + " " + std::to_string(y));
      const std::int64_t start = Now();
      for (int i = 1; i <= steps; ++i) {
        const int px = x + dx * i / steps, py = y + dy * i / steps;
        At(start + std::int64_t{i} * ms * 1'000'000, [this, screen, px, py, i] {
          const std::int64_t now = Now();
          XTestFakeMotionEvent(display_, screen, px, py, CurrentTime);
          XFlush(display_);
          std::printf("sent %" PRId64 " motion %d %d %d\n", now, i, px, py);
          std::fflush(stdout);
        });
      }
      At(start + std::int64_t{steps + 1} * ms * 1'000'000, [this] {
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XFlush(display_);
        Sent("release");
      });
    } else {
      return Error(line);
    }
    return true;
  }

  bool Error(const std::string& line) {
    std::printf("error bad command: %s\n", line.c_str());
    std::fflush(stdout);
    return true;
  }

  Display* display_;
  Window root_;
  std::map<Window, Client> clients_;  // watched top-level windows, by client window
  std::map<Window, Window> frames_;   // frame -> client
  std::multimap<std::int64_t, std::function<void()>> due_;  // timed steps of clicks and drags
};

}  // namespace
}  // namespace xm

int main() {
  std::unique_ptr<Display, xm::DisplayClose> display(XOpenDisplay(nullptr));
  if (!display) {
    std::fprintf(stderr, "bench_dock_probe: cannot open the display\n");
    return 1;
  }
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (XTestQueryExtension(display.get(), &event_base, &error_base, &major, &minor) == 0) {
    std::fprintf(stderr, "bench_dock_probe: the X server has no XTEST extension\n");
    return 1;
  }
  XSetErrorHandler(xm::IgnoreXError);
  return xm::Probe(display.get()).Run();
}
