#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <string_view>

#include "app/program.h"
#include "app/sites.h"
#include "fake_backend.h"
#include "platform/encoding.h"
#include "windows/concat_text.h"
#include "windows/main_window.h"
#include "windows/notice_window.h"
#include "windows/tool_menu_window.h"
#include "windows/windows.h"

// The whole program over the fake backend: scripted user actions play the user. The program keeps
// its state for the whole process, so every run happens in a child process of its own (a death
// test), and the parent looks at what it left on disk.
namespace xm {
namespace {

namespace fs = std::filesystem;
using ::testing::ExitedWithCode;

constexpr const char* kMain = "MainWindow";
constexpr const char* kNotice = "NoticeWindow";
constexpr const char* kTool = "ToolMenuWindow";
constexpr const char* kWidthFile = "7351视频播放器宽度.ini";
constexpr const char* kHeightFile = "7351视频播放器高度.ini";

// A size file as the program writes it.
std::string SizeFile(const char* key, int value) {
  return Utf8ToCp936(std::string("[配置]\r\n") + key + "=" + std::to_string(value) + "\r\n");
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Rect OuterOf(const FakeWindow& w) {
  return w.outer;
}
Rect UnitRect(const FakeWindow& w, UnitId unit) {
  const UnitState& u = w.units[static_cast<size_t>(unit.index)];
  return {u.left, u.top, u.width, u.height};
}

// The user's acts on the program's windows.
void Click(FakeBackend& fake, const char* window, UnitId unit) {
  fake.Live(window).UserClick(unit.index);
}
void Accept(FakeBackend& fake) {
  Click(fake, kNotice, 选择框_同意);
}

// Runs one program in this (forked) process. EXPECT failures inside `body` are printed to stderr
// and make the exit code 1; so does an exception (the fake throws when the program would wait
// for ever).
[[noreturn]] void RunChild(const std::function<void()>& body) {
  ::testing::TestPartResultArray results;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
    try {
      body();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "exception: " << e.what();
    }
  }
  bool failed = false;
  for (int i = 0; i < results.size(); ++i) {
    const ::testing::TestPartResult& r = results.GetTestPartResult(i);
    if (!r.failed()) continue;
    failed = true;
    std::fprintf(stderr, "%s:%d: %s\n", r.file_name() != nullptr ? r.file_name() : "?",
                 r.line_number(), r.message());
  }
  std::_Exit(failed ? 1 : 0);
}

// Runs the program to its normal end, as the process entry does.
void RunToTheEnd(FakeBackend& fake) {
  EXPECT_EQ(RunProgram(fake), 0);
  ShutDownProgram();
  EXPECT_TRUE(fake.shut_down);
  EXPECT_TRUE(fake.actions.empty()) << fake.actions.size() << " user actions never ran";
}

// Counts the writes that land on each file of a directory (written in place or renamed there).
class FileWrites {
 public:
  explicit FileWrites(const std::string& dir) : fd_(inotify_init1(IN_NONBLOCK)) {
    inotify_add_watch(fd_, dir.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
  }
  ~FileWrites() { close(fd_); }
  FileWrites(const FileWrites&) = delete;
  FileWrites& operator=(const FileWrites&) = delete;

  // How many writes landed on `name` so far.
  int Count(const std::string& name) {
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
      for (char* p = buffer; p < buffer + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        if (e->len > 0) ++counts_[e->name];
        p += sizeof(inotify_event) + e->len;
      }
    }
    return counts_[name];
  }

 private:
  int fd_;
  std::map<std::string, int> counts_;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The child must share this process's state directory and fixture: fork, do not re-run.
    GTEST_FLAG_SET(death_test_style, "fast");
    std::string pattern = (fs::temp_directory_path() / "xm-program-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    ::setenv("XINGMU_STATE_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("XINGMU_STATE_DIR");
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void StoreSize(int width, int height) {
    std::ofstream(dir_ / kWidthFile, std::ios::binary) << SizeFile("宽度", width);
    std::ofstream(dir_ / kHeightFile, std::ios::binary) << SizeFile("高度", height);
  }
  void ExpectStoredSize(int width, int height) {
    EXPECT_EQ(ReadFile(dir_ / kWidthFile), SizeFile("宽度", width));
    EXPECT_EQ(ReadFile(dir_ / kHeightFile), SizeFile("高度", height));
  }

  fs::path dir_;
};

// ---- Normal runs -------------------------------------------------------------------------------

TEST_F(ProgramTest, AcceptThenCloseShowsTheMainWindowAndSavesItsSize) {
  const struct {
    bool stored;
    Rect main;  // after the start-up gate, centred on 1920 x 1080 at the stored 1022 x 546
    Rect box;
  } kCases[] = {
      {false, {449, 267, 1022, 546}, {5, 4, 1012, 506}},
      {true, {449, 267, 800, 600}, {5, 4, 790, 560}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.stored ? "remembered 800 x 600" : "first run");
    if (c.stored) StoreSize(800, 600);
    EXPECT_EXIT(RunChild([&] {
                  FakeBackend fake;
                  fake.Then([&] {
                    // The notice phase: MainWindow loaded, hidden and disabled behind the notice.
                    const FakeWindow& main = fake.Live(kMain);
                    EXPECT_FALSE(main.shown);
                    EXPECT_FALSE(main.enabled);
                    const UnitState& box = main.units[超文本浏览框_视频.index];
                    EXPECT_EQ(box.url, Utf8ToCp936(sites::kSite1));
                    EXPECT_EQ(box.font_size, 1);
                    EXPECT_TRUE(box.offline && box.silent);
                    const FakeWindow& notice = fake.Live(kNotice);
                    EXPECT_TRUE(notice.shown);
                    EXPECT_EQ(notice.created_outer, (Rect{770, 421, 380, 237}));
                    EXPECT_EQ(notice.owner, nullptr);
                    EXPECT_FALSE(notice.taskbar);
                    EXPECT_FALSE(notice.units[选择框1.index].checked);
                    EXPECT_FALSE(notice.units[选择框_同意.index].checked);
                    EXPECT_FALSE(fake.IsAlive(kTool));
                    Accept(fake);
                  });
                  fake.Then([&] {
                    EXPECT_FALSE(fake.IsAlive(kNotice));
                    const FakeWindow& main = fake.Live(kMain);
                    EXPECT_TRUE(main.shown);
                    EXPECT_TRUE(main.enabled);
                    EXPECT_EQ(OuterOf(main), c.main);
                    EXPECT_EQ(UnitRect(main, 超文本浏览框_视频), c.box);
                    fake.Live(kMain).UserClose();
                  });
                  RunToTheEnd(fake);
                  EXPECT_FALSE(fake.IsAlive(kMain));
                  EXPECT_EQ(fake.CountCreated(kMain), 1);
                }),
                ExitedWithCode(0), "");
    ExpectStoredSize(c.main.width, c.main.height);
  }
}

// The tool window comes and goes during the notice phase without ending anything; unticking its
// box after the user closed it some other way does nothing.
TEST_F(ProgramTest, ToolWindowComesAndGoesDuringTheNotice) {
  EXPECT_EXIT(RunChild([] {
                FakeBackend fake;
                fake.Then([&] { Click(fake, kNotice, 选择框1); });
                fake.Then([&] {
                  const FakeWindow& tool = fake.Live(kTool);
                  EXPECT_EQ(OuterOf(tool), (Rect{770 + 380, 421, 344, 242}));
                  EXPECT_EQ(tool.owner, fake.Last(kMain));
                  EXPECT_FALSE(tool.taskbar);
                  EXPECT_TRUE(tool.shown);
                  EXPECT_TRUE(tool.enabled);
                  Click(fake, kNotice, 选择框1);  // untick: the tool window goes
                });
                fake.Then([&] {
                  EXPECT_FALSE(fake.IsAlive(kTool));
                  Click(fake, kNotice, 选择框1);
                });
                fake.Then([&] { fake.Live(kTool).UserClose(); });
                fake.Then([&] {
                  EXPECT_FALSE(fake.IsAlive(kTool));
                  Click(fake, kNotice, 选择框1);  // untick after the close: nothing to do
                });
                fake.Then([&] {
                  EXPECT_EQ(fake.CountCreated(kTool), 2);
                  EXPECT_TRUE(fake.IsAlive(kNotice));
                  EXPECT_TRUE(fake.posted.empty());
                  Accept(fake);
                });
                fake.Then([&] { fake.Live(kMain).UserClose(); });
                RunToTheEnd(fake);
              }),
              ExitedWithCode(0), "");
  ExpectStoredSize(1022, 546);
}

TEST_F(ProgramTest, ClosingTheToolWindowAloneKeepsTheProgramRunning) {
  EXPECT_EXIT(RunChild([] {
                FakeBackend fake;
                fake.Then([&] { Click(fake, kNotice, 选择框1); });
                fake.Then([&] { Accept(fake); });
                fake.Then([&] { fake.Live(kTool).UserEscape(); });
                fake.Then([&] {
                  EXPECT_FALSE(fake.IsAlive(kTool));
                  EXPECT_TRUE(fake.Live(kMain).shown);
                  fake.Live(kMain).UserEscape();
                });
                RunToTheEnd(fake);
              }),
              ExitedWithCode(0), "");
  ExpectStoredSize(1022, 546);
}

TEST_F(ProgramTest, ClosingTheMainWindowWithTheToolWindowOpenEndsOnceAndSavesOnce) {
  const std::string dir = dir_.string();
  EXPECT_EXIT(RunChild([&] {
                FileWrites writes(dir);
                FakeBackend fake;
                std::vector<std::string> journal;
                fake.journal = &journal;
                fake.Then([&] { Click(fake, kNotice, 选择框1); });
                fake.Then([&] { Accept(fake); });
                fake.Then([&] {
                  journal.clear();
                  fake.Live(kMain).UserClose();
                });
                fake.Then([] { ADD_FAILURE() << "the program went on after MainWindow closed"; });
                EXPECT_EQ(RunProgram(fake), 0);
                EXPECT_EQ(fake.actions.size(), 1U);
                EXPECT_EQ(journal, (std::vector<std::string>{"~ToolMenuWindow destroy",
                                                             "~MainWindow destroy"}));
                EXPECT_EQ(writes.Count(kWidthFile), 1);
                EXPECT_EQ(writes.Count(kHeightFile), 1);
              }),
              ExitedWithCode(0), "");
  ExpectStoredSize(1022, 546);
}

// Docked against MainWindow's right edge, level with its top, after every move and resize; the
// sum is taken in doubles and comes back through TruncateToInt, then the toolkit's clamp.
TEST_F(ProgramTest, ToolWindowFollowsTheMainWindow) {
  EXPECT_EXIT(RunChild([] {
                FakeBackend fake;
                fake.Then([&] { Click(fake, kNotice, 选择框1); });
                fake.Then([&] { Accept(fake); });
                fake.Then([&] {
                  EXPECT_EQ(OuterOf(fake.Live(kTool)), (Rect{449 + 1022, 267, 344, 242}));
                  const struct {
                    Rect main;
                    int tool_left, tool_top;
                    Rect box;
                  } kMoves[] = {
                      {{100, 200, 1022, 546}, 1122, 200, {5, 4, 1012, 506}},
                      {{100, 200, 900, 500}, 1000, 200, {5, 4, 890, 460}},
                      {{-3000, -40, 30, 20}, -2970, -40, {5, 4, 20, 0}},
                      // 2147483000 + 1022 wraps to -2147483274, which clamps to -32627.
                      {{2147483000, 7, 1022, 546}, -32627, 7, {5, 4, 1012, 506}},
                  };
                  for (const auto& m : kMoves) {
                    SCOPED_TRACE(::testing::Message() << "MainWindow at " << m.main);
                    fake.Live(kMain).UserSetGeometry(m.main);
                    EXPECT_EQ(OuterOf(fake.Live(kTool)), (Rect{m.tool_left, m.tool_top, 344, 242}));
                    EXPECT_EQ(UnitRect(fake.Live(kMain), 超文本浏览框_视频), m.box);
                  }
                  fake.Live(kMain).UserMinimize(true);
                  EXPECT_FALSE(fake.Live(kTool).shown);
                  fake.Live(kMain).UserMinimize(false);
                  EXPECT_TRUE(fake.Live(kTool).shown);
                  fake.Live(kMain).UserClose();
                });
                RunToTheEnd(fake);
              }),
              ExitedWithCode(0), "");
}

TEST_F(ProgramTest, ToolButtonsDriveTheBrowserBox) {
  EXPECT_EXIT(
      RunChild([] {
        FakeBackend fake;
        fake.box_answer = 0;
        fake.Then([&] { Click(fake, kNotice, 选择框1); });
        fake.Then([&] { Accept(fake); });
        fake.Then([&] {
          FakeWindow& tool = fake.Live(kTool);
          FakeWindow& main = fake.Live(kMain);
          auto url = [&] { return main.units[超文本浏览框_视频.index].url; };
          const struct {
            UnitId button;
            const char* site;
          } kSites[] = {{按钮_院线二, sites::kSite2},
                        {按钮_广告院线, sites::kSite3},
                        {按钮_R6院线, sites::kSite4},
                        {按钮_m3院线, sites::kSite5},
                        {按钮_院线一, sites::kSite1}};
          for (const auto& s : kSites) {
            SCOPED_TRACE(s.site);
            tool.UserClick(s.button.index);
            EXPECT_EQ(url(), Utf8ToCp936(s.site));
          }

          tool.UserClick(按钮_刷新.index);
          EXPECT_EQ(main.browser_commands,
                    (std::vector<std::pair<int, int>>{{超文本浏览框_视频.index, 4}}));

          std::string& typed = tool.units[编辑框_爱奇艺播放.index].text;
          for (std::string text : {"abc", "", " a b\t"}) {
            typed = text;
            tool.UserClick(按钮_爱奇艺优酷添加.index);
            EXPECT_EQ(url(), RelayPlayerPrefix() + text);
          }
          EXPECT_TRUE(RelayPlayerPrefix().ends_with("/ckplayer/play.html?"));

          typed = "abc";
          const size_t navigations = main.url_writes.size();
          tool.UserClick(按钮_爱奇艺优酷添加1.index);
          EXPECT_EQ(typed, "");
          EXPECT_EQ(main.url_writes.size(), navigations);

          tool.UserClick(按钮_提示.index);
          ASSERT_EQ(fake.boxes.size(), 1U);
          const MessageBoxCall& box = fake.boxes[0];
          EXPECT_EQ(box.flags, 64);
          EXPECT_EQ(box.title, Utf8ToCp936("温馨提示"));
          EXPECT_EQ(box.text, TipsText());
          EXPECT_TRUE(box.text.starts_with(Utf8ToCp936("打开软件后会有个别广告弹出")));
          EXPECT_FALSE(box.text.ends_with("\r\n"));
          EXPECT_EQ(box.enabled, (std::map<std::string, bool>{{kMain, false}, {kTool, false}}));
          EXPECT_TRUE(main.enabled && tool.enabled);
          main.UserClose();
        });
        RunToTheEnd(fake);
      }),
      ExitedWithCode(0), "");
}

// ---- Ends of the process -----------------------------------------------------------------------

TEST_F(ProgramTest, WaysOfEndingTheProcessEarly) {
  using Script = void (*)(FakeBackend&);
  const struct {
    const char* what;
    bool stored;  // size files present beforehand: they must stay as they are
    Script script;
    int exit_code;
    const char* stderr_regex;
  } kCases[] = {
      {"closing the notice", false,
       [](FakeBackend& f) { f.Then([&f] { f.Live(kNotice).UserClose(); }); }, 0, "shut down"},
      {"Esc on the notice with the tool window open", true,
       [](FakeBackend& f) {
         f.Then([&f] { Click(f, kNotice, 选择框1); });
         f.Then([&f] { f.Live(kNotice).UserEscape(); });
       },
       0, "shut down"},
      {"session ending during the notice", false,
       [](FakeBackend& f) { f.Then([] { SessionEnding(); }); }, 0, "shut down"},
      {"session ending in the main phase", true,
       [](FakeBackend& f) {
         f.Then([&f] { Accept(f); });
         f.Then([] { SessionEnding(); });
       },
       0, "shut down"},
      {"MainWindow cannot be created", false, [](FakeBackend& f) { f.fail_create.insert(kMain); },
       255, "xingmu-huibo: 程序运行时出错：无法创建启动窗口\n.*box flags=16 after 0 windows"},
      {"a fatal toolkit error in the main phase", true,
       [](FakeBackend& f) {
         f.Then([&f] { Accept(f); });
         f.Then([] { RequestDestroy(ToolMenuWindow); });  // not loaded: a misuse
       },
       255,
       "xingmu-huibo: 程序运行时出错：销毁未载入的窗口\n.*box flags=16 after 2 windows\n"
       ".*browser width 790"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    fs::remove(dir_ / kWidthFile);
    fs::remove(dir_ / kHeightFile);
    if (c.stored) StoreSize(800, 600);
    EXPECT_EXIT(
        {
          FakeBackend fake;
          // While the box is up the window manager resizes MainWindow: no handler may answer.
          fake.on_message_box = [&fake](const MessageBoxCall& box) {
            std::fprintf(stderr, "box flags=%d after %zu windows\n", box.flags,
                         fake.windows.size());
            if (!fake.IsAlive(kMain)) return;
            fake.Live(kMain).UserSetGeometry({0, 0, 500, 500});
            std::fprintf(stderr, "browser width %d\n",
                         fake.Live(kMain).units[超文本浏览框_视频.index].width);
          };
          fake.on_shut_down = [] { std::fprintf(stderr, "shut down\n"); };
          c.script(fake);
          RunProgram(fake);
          std::fprintf(stderr, "RunProgram returned\n");
          std::_Exit(100);
        },
        ExitedWithCode(c.exit_code), c.stderr_regex);
    if (c.stored) {
      ExpectStoredSize(800, 600);
    } else {
      EXPECT_FALSE(fs::exists(dir_ / kWidthFile));
      EXPECT_FALSE(fs::exists(dir_ / kHeightFile));
    }
  }
}

// ---- ConcatText --------------------------------------------------------------------------------

TEST(ConcatTextTest, JoinsInOrderEachTextUpToItsNul) {
  using namespace std::string_view_literals;
  EXPECT_EQ(ConcatText({"ab", "cd"}), "abcd");
  EXPECT_EQ(ConcatText({"prefix?"}), "prefix?");
  EXPECT_EQ(ConcatText({"a\0b"sv, "c\0d"sv, "e"}), "ace");
  EXPECT_EQ(ConcatText({"\0hidden"sv, "tail"}), "tail");
  EXPECT_EQ(ConcatText({"", "x", ""}), "x");
  EXPECT_EQ(ConcatText({std::string_view(), std::string_view()}), "");
  EXPECT_EQ(ConcatText({"\xd6\xd0", "\xce\xc4"}), "\xd6\xd0\xce\xc4");
}

}  // namespace
}  // namespace xm
