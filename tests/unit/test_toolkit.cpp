#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "fake_backend.h"
#include "platform/toolkit.h"
#include "platform/window_spec.h"

namespace xm {
namespace {

using Log = std::vector<std::string>;

// ---- Test windows ------------------------------------------------------------------------------
//
// A: every event bound, controls of each kind used here. B: a CanBeClosed that answers g_answer,
// Esc closes. C, M: window events only (used as owned and modal windows). Z: centred, without a
// taskbar entry, no handlers. D: disabled from the start, no handlers.

enum { kA, kB, kC, kM, kZ, kD, kWindowCount };
constexpr const char* kNames[] = {"A", "B", "C", "M", "Z", "D"};
constexpr const char* kEventNames[] = {"Created", "CanBeClosed", "WillBeDestroyed",
                                       "PositionChanged", "SizeChanged"};
constexpr WindowId Id(int w) {
  return WindowId{w};
}
constexpr UnitId kBox{1}, kButton{2}, kEdit{3}, kWeb{4};

Log g_log;  // handler entries "A.Created"; the fake adds "~A show" and the like
std::map<std::string, std::function<void()>> g_then;  // runs right after that entry is logged
bool g_answer = true;                                 // what B's CanBeClosed answers

void Note(const std::string& entry) {
  g_log.push_back(entry);
  if (auto it = g_then.find(entry); it != g_then.end()) {
    std::function<void()> then = it->second;
    then();
  }
}

// The handler entries alone, without the fake's calls.
Log Events() {
  Log out;
  std::copy_if(g_log.begin(), g_log.end(), std::back_inserter(out),
               [](const std::string& e) { return e.empty() || e[0] != '~'; });
  return out;
}

template <int W, int E>
void On() {
  Note(std::string(kNames[W]) + "." + kEventNames[E]);
}
template <int W, int U>
void Clicked() {
  Note(std::string(kNames[W]) + ".Clicked" + std::to_string(U));
}
template <int W>
bool Answer() {
  Note(std::string(kNames[W]) + ".CanBeClosed");
  return g_answer;
}

template <int W>
constexpr Binding kWindowEvents[] = {
    {0, kCreated, On<W, kCreated>},
    {0, kCanBeClosed, On<W, kCanBeClosed>},
    {0, kWillBeDestroyed, On<W, kWillBeDestroyed>},
    {0, kPositionChanged, On<W, kPositionChanged>},
    {0, kSizeChanged, On<W, kSizeChanged>},
};

constexpr Binding kBindingsA[] = {
    {0, kCreated, On<kA, kCreated>},
    {0, kCanBeClosed, On<kA, kCanBeClosed>},
    {0, kWillBeDestroyed, On<kA, kWillBeDestroyed>},
    {0, kPositionChanged, On<kA, kPositionChanged>},
    {0, kSizeChanged, On<kA, kSizeChanged>},
    {1, kClicked, Clicked<kA, 1>},
    {2, kClicked, Clicked<kA, 2>},
};
constexpr Binding kBindingsB[] = {
    {0, kCreated, On<kB, kCreated>},
    {0, kCanBeClosed, Answer<kB>},
    {0, kWillBeDestroyed, On<kB, kWillBeDestroyed>},
};

constexpr UnitSpec kUnitsA[] = {
    {.kind = Kind::Window, .name = "A", .left = 10, .top = 20, .width = 300, .height = 200},
    {.kind = Kind::CheckBox, .name = "box", .left = 5, .top = 5, .width = 100, .height = 20},
    {.kind = Kind::Button, .name = "button", .left = 5, .top = 30, .width = 100, .height = 20},
    {.kind = Kind::EditBox, .name = "edit", .left = 5, .top = 60, .width = 100, .height = 20},
    {.kind = Kind::HtmlViewer, .name = "web", .left = 5, .top = 90, .width = 200, .height = 100},
};
template <int W>
constexpr UnitSpec kPlainUnits[] = {
    {.kind = Kind::Window, .name = kNames[W], .left = 30, .top = 40, .width = 200, .height = 100},
};
constexpr UnitSpec kUnitsZ[] = {
    {.kind = Kind::Window, .name = "Z", .left = 7, .top = 7, .width = 1023, .height = 600},
};
constexpr UnitSpec kUnitsD[] = {
    {.kind = Kind::Window, .name = "D", .width = 50, .height = 50, .enabled = false},
};

const WindowSpec kWindowA{.style = {}, .units = kUnitsA, .bindings = kBindingsA};
const WindowSpec kWindowB{
    .style = {.esc_closes = true}, .units = kPlainUnits<kB>, .bindings = kBindingsB};
const WindowSpec kWindowC{.style = {}, .units = kPlainUnits<kC>, .bindings = kWindowEvents<kC>};
const WindowSpec kWindowM{.style = {}, .units = kPlainUnits<kM>, .bindings = kWindowEvents<kM>};
const WindowSpec kWindowZ{.style = {.show_in_taskbar = false, .start = StartPosition::Centered},
                          .units = kUnitsZ,
                          .bindings = {}};
const WindowSpec kWindowD{.style = {}, .units = kUnitsD, .bindings = {}};
const WindowSpec* const kWindows[] = {&kWindowA, &kWindowB, &kWindowC,
                                      &kWindowM, &kWindowZ, &kWindowD};

constexpr WindowId A = Id(kA), B = Id(kB), C = Id(kC), M = Id(kM), Z = Id(kZ), D = Id(kD);

struct TestFatal {
  std::string what;
};

class TestHooks final : public ProgramHooks {
 public:
  void WindowGone() override { ++gone; }
  [[noreturn]] void FatalError(std::string_view what) override {
    throw TestFatal{std::string(what)};
  }
  bool QuitPosted() const override { return quit; }

  int gone = 0;
  bool quit = false;
};

class ToolkitTest : public ::testing::Test {
 protected:
  ToolkitTest() : toolkit_(fake_, kWindows, hooks_) {
    g_log.clear();
    g_then.clear();
    g_answer = true;
    fake_.journal = &g_log;
    SetCurrentToolkit(&toolkit_);
  }
  ~ToolkitTest() override {
    SetCurrentToolkit(nullptr);
    g_then.clear();
  }

  // Loads a window and forgets what the load logged.
  void Load(WindowId w, std::optional<WindowId> owner = std::nullopt) {
    ASSERT_TRUE(LoadWindow(w, owner, false));
    g_log.clear();
  }
  FakeWindow& Fake(WindowId w) { return fake_.Live(kNames[w.index]); }
  // Carries out a destroy request the way the system gets round to it.
  void Destroy(WindowId w) {
    RequestDestroy(w);
    fake_.RunPosted();
  }

  FakeBackend fake_;
  TestHooks hooks_;
  Toolkit toolkit_;
};

// ---- Properties --------------------------------------------------------------------------------

TEST_F(ToolkitTest, PositionsAndSizesAreClampedOnLoadedAndUnloadedWindows) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    Prop prop;
    std::int32_t written, applied;
  } kCases[] = {
      {Prop::left, 40000, 32627},   {Prop::left, -40000, -32627}, {Prop::top, kMin, -32627},
      {Prop::top, 32628, 32627},    {Prop::width, -5, 0},         {Prop::width, kMax, 32627},
      {Prop::height, 40000, 32627}, {Prop::height, kMin, 0},      {Prop::left, -32627, -32627},
  };
  for (bool loaded : {false, true}) {
    if (loaded) Load(A);
    for (const auto& c : kCases) {
      SCOPED_TRACE(::testing::Message() << "loaded " << loaded << ", prop "
                                        << static_cast<int>(c.prop) << " := " << c.written);
      WriteProperty(A, kSelf, c.prop, c.written);
      EXPECT_EQ(ReadProperty(A, kSelf, c.prop), c.applied);
      if (!loaded) continue;
      const Rect& r = Fake(A).outer;
      const int asked[] = {r.left, r.top, r.width, r.height};
      EXPECT_EQ(asked[static_cast<int>(c.prop)], c.applied);
      // A control's rectangle is clamped the same way and is the control's own business.
      WriteProperty(A, kWeb, c.prop, c.written);
      EXPECT_EQ(ReadProperty(A, kWeb, c.prop), c.applied);
    }
  }
  // One event per write that moved or resized the loaded window; the last one changed nothing.
  EXPECT_EQ(Events(),
            (Log{"A.PositionChanged", "A.PositionChanged", "A.PositionChanged", "A.PositionChanged",
                 "A.SizeChanged", "A.SizeChanged", "A.SizeChanged", "A.SizeChanged"}));
}

TEST_F(ToolkitTest, UnloadedWindowKeepsWritesWithoutEvents) {
  WriteProperty(A, kSelf, Prop::left, 123);
  WriteProperty(A, kWeb, Prop::height, 77);
  WriteProperty(A, kSelf, Prop::visible, 0);
  EXPECT_EQ(ReadProperty(A, kSelf, Prop::left), 123);
  EXPECT_EQ(ReadProperty(A, kWeb, Prop::height), 77);
  EXPECT_EQ(ReadProperty(A, kSelf, Prop::visible), 0);
  EXPECT_TRUE(g_log.empty());
  EXPECT_TRUE(fake_.windows.empty());
}

TEST_F(ToolkitTest, WritesThatChangeNothingRaiseNothing) {
  Load(A);
  WriteProperty(A, kSelf, Prop::left, 10);
  WriteProperty(A, kSelf, Prop::top, 20);
  WriteProperty(A, kSelf, Prop::width, 300);
  WriteProperty(A, kSelf, Prop::height, 200);
  WriteProperty(A, kSelf, Prop::left, 32627);
  g_log.clear();
  WriteProperty(A, kSelf, Prop::left, 40000);  // clamps to where it already is
  EXPECT_TRUE(g_log.empty());
  EXPECT_EQ(Fake(A).outer_requests, (std::vector<Rect>{{32627, 20, 300, 200}}));
}

TEST_F(ToolkitTest, CheckedWriteRaisesNoClickButTheUsersClickDoes) {
  Load(A);
  WriteProperty(A, kBox, Prop::checked, 1);
  EXPECT_EQ(ReadProperty(A, kBox, Prop::checked), 1);
  EXPECT_TRUE(Events().empty());
  Fake(A).UserClick(kBox.index);
  EXPECT_EQ(ReadProperty(A, kBox, Prop::checked), 0);
  EXPECT_EQ(Events(), (Log{"A.Clicked1"}));
}

// ---- Loading -----------------------------------------------------------------------------------

TEST_F(ToolkitTest, LoadRaisesCreatedPositionSizeThenShows) {
  ASSERT_TRUE(LoadWindow(A, std::nullopt, false));
  EXPECT_EQ(g_log,
            (Log{"~A create", "A.Created", "A.PositionChanged", "A.SizeChanged", "~A show"}));
  EXPECT_EQ(Fake(A).created_outer, (Rect{10, 20, 300, 200}));
  EXPECT_TRUE(Fake(A).taskbar);
  EXPECT_EQ(Fake(A).owner, nullptr);
}

TEST_F(ToolkitTest, WidthWrittenInCreatedRaisesSizeChangedInsideTheWriteAndAgainAfter) {
  g_then["A.Created"] = [] {
    WriteProperty(A, kSelf, Prop::width, 500);
    Note("written");
  };
  ASSERT_TRUE(LoadWindow(A, std::nullopt, false));
  EXPECT_EQ(g_log, (Log{"~A create", "A.Created", "~A rect 10,20,500,200", "A.SizeChanged",
                        "written", "A.PositionChanged", "A.SizeChanged", "~A show"}));
}

TEST_F(ToolkitTest, HandlersRunNotWhileTheWindowIsBeingCreated) {
  fake_.on_create = [](FakeWindow& w) {
    w.events->SystemClicked(kBox.index);
    w.events->SystemGeometry({1, 2, 3, 4});
    w.events->SystemCloseRequested();
  };
  ASSERT_TRUE(LoadWindow(A, std::nullopt, false));
  EXPECT_EQ(Events(), (Log{"A.Created", "A.PositionChanged", "A.SizeChanged"}));
}

TEST_F(ToolkitTest, CentredWindowUsesThePrimaryScreenAndDividesTowardZero) {
  const struct {
    Size screen;
    int left, top;
  } kCases[] = {{{1920, 1080}, 448, 240}, {{1000, 599}, -11, 0}, {{0, 0}, -511, -300}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.screen.width << " x " << c.screen.height);
    fake_.screen = c.screen;
    Load(Z);
    EXPECT_EQ(Fake(Z).created_outer, (Rect{c.left, c.top, 1023, 600}));
    EXPECT_EQ(ReadProperty(Z, kSelf, Prop::left), c.left);
    EXPECT_FALSE(Fake(Z).taskbar);
    Destroy(Z);
  }
}

TEST_F(ToolkitTest, DestroyPutsBackTheSettingsTheLoadStartedWith) {
  WriteProperty(A, kSelf, Prop::left, 111);  // before the load: part of what the load copies
  Load(A);
  WriteProperty(A, kSelf, Prop::left, 222);
  WriteProperty(A, kSelf, Prop::width, 333);
  WriteProperty(A, kWeb, Prop::width, 44);
  WriteProperty(A, kSelf, Prop::visible, 0);
  Fake(A).UserSetGeometry({500, 600, 700, 800});
  Destroy(A);
  EXPECT_EQ(ReadProperty(A, kSelf, Prop::left), 111);
  EXPECT_EQ(ReadProperty(A, kSelf, Prop::width), 300);
  EXPECT_EQ(ReadProperty(A, kWeb, Prop::width), 200);
  EXPECT_EQ(ReadProperty(A, kSelf, Prop::visible), 1);
  Load(A);
  EXPECT_EQ(Fake(A).created_outer, (Rect{111, 20, 300, 200}));
  EXPECT_EQ(Fake(A).units[kWeb.index].width, 200);
}

TEST_F(ToolkitTest, LoadingALoadedWindowActivatesOrRestoresIt) {
  Load(A);
  EXPECT_TRUE(LoadWindow(A, std::nullopt, false));
  Fake(A).UserMinimize(true);
  EXPECT_TRUE(LoadWindow(A, std::nullopt, false));
  EXPECT_EQ(g_log, (Log{"~A activate", "A.PositionChanged", "A.SizeChanged", "~A restore"}));
  EXPECT_EQ(fake_.CountCreated("A"), 1);
}

TEST_F(ToolkitTest, LoadFailsWithoutEventsWhenTheOwnerIsNotLoadedOrCreationFails) {
  EXPECT_FALSE(LoadWindow(C, A, false));
  fake_.fail_create.insert("A");
  WriteProperty(A, kSelf, Prop::left, 5);
  EXPECT_FALSE(LoadWindow(A, std::nullopt, false));
  EXPECT_FALSE(toolkit_.IsLoaded(A));
  EXPECT_EQ(ReadProperty(A, kSelf, Prop::left), 5);
  EXPECT_TRUE(g_log.empty());
  EXPECT_TRUE(fake_.windows.empty());
}

// ---- Destroying and closing --------------------------------------------------------------------

TEST_F(ToolkitTest, RequestDestroyWaitsForThePostedTask) {
  Load(A);
  Fake(A).UserSetGeometry({500, 600, 300, 200});
  g_log.clear();
  RequestDestroy(A);
  EXPECT_TRUE(toolkit_.IsLoaded(A));
  EXPECT_EQ(ReadProperty(A, kSelf, Prop::left), 500);  // the live window, not the settings
  EXPECT_EQ(ReadProperty(A, kSelf, Prop::visible), 1);
  EXPECT_EQ(ReadProperty(A, kEdit, TextProp::content), "");
  EXPECT_TRUE(g_log.empty());
  EXPECT_EQ(hooks_.gone, 0);
  fake_.RunPosted();
  EXPECT_EQ(g_log, (Log{"A.WillBeDestroyed", "~A destroy"}));
  EXPECT_FALSE(toolkit_.IsLoaded(A));
  EXPECT_EQ(ReadProperty(A, kSelf, Prop::left), 10);
  EXPECT_EQ(hooks_.gone, 1);
}

TEST_F(ToolkitTest, CloseRequestClosesUnlessCanBeClosedAnswersFalse) {
  enum How { kCloseBox, kEscape };
  const struct {
    WindowId window;
    How how;
    bool answer;
    Log events;
    bool closed;
  } kCases[] = {
      {B, kCloseBox, false, {"B.CanBeClosed"}, false},
      {B, kCloseBox, true, {"B.CanBeClosed", "B.WillBeDestroyed"}, true},
      {B, kEscape, false, {"B.CanBeClosed"}, false},
      {B, kEscape, true, {"B.CanBeClosed", "B.WillBeDestroyed"}, true},
      {A, kCloseBox, false, {"A.CanBeClosed", "A.WillBeDestroyed"}, true},  // answers nothing
      {A, kEscape, false, {}, false},                                       // Esc does not close A
      {Z, kCloseBox, false, {}, true},                                      // no handler
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::Message()
                 << kNames[c.window.index] << " how " << c.how << " answer " << c.answer);
    g_answer = c.answer;
    Load(c.window);
    if (c.how == kCloseBox) {
      Fake(c.window).UserClose();
    } else {
      Fake(c.window).UserEscape();
    }
    EXPECT_EQ(Events(), c.events);
    EXPECT_EQ(toolkit_.IsLoaded(c.window), !c.closed);
    EXPECT_EQ(fake_.IsAlive(kNames[c.window.index]), !c.closed);
    if (!c.closed) Destroy(c.window);
  }
}

TEST_F(ToolkitTest, OwnedWindowsGoBeforeTheOwnersWillBeDestroyed) {
  Load(A);
  Load(C, A);
  EXPECT_EQ(Fake(C).owner, &Fake(A));
  EXPECT_FALSE(Fake(C).taskbar);
  bool owned_alive = true;
  g_then["A.WillBeDestroyed"] = [&] {
    owned_alive = fake_.IsAlive("C");
    EXPECT_EQ(ReadProperty(A, kSelf, Prop::width), 300);  // A still exists
  };
  Fake(A).UserClose();
  EXPECT_FALSE(owned_alive);
  EXPECT_EQ(Events(), (Log{"A.CanBeClosed", "C.WillBeDestroyed", "A.WillBeDestroyed"}));
  EXPECT_FALSE(toolkit_.IsLoaded(C));
  EXPECT_EQ(hooks_.gone, 2);
}

TEST_F(ToolkitTest, OwnedWindowsHideWithTheMinimizedOwnerAndComeBack) {
  Load(A);
  Load(C, A);
  Load(M, A);
  WriteProperty(M, kSelf, Prop::visible, 0);  // hidden by the program: stays hidden
  g_log.clear();
  Fake(A).UserMinimize(true);
  EXPECT_FALSE(Fake(C).shown);
  EXPECT_EQ(ReadProperty(C, kSelf, Prop::visible), 0);  // hidden, as the system reports it
  EXPECT_EQ(Events(), (Log{"A.PositionChanged", "A.SizeChanged"}));
  Fake(A).UserMinimize(false);
  EXPECT_TRUE(Fake(C).shown);
  EXPECT_EQ(ReadProperty(C, kSelf, Prop::visible), 1);
  EXPECT_FALSE(Fake(M).shown);
  EXPECT_EQ(Fake(M).calls, (std::vector<std::string>{"create", "show", "hide"}));
}

// ---- Modal windows -----------------------------------------------------------------------------

TEST_F(ToolkitTest, ModalLoadDisablesOtherTopLevelWindowsAndRunsUntilItIsGone) {
  Load(A);
  Load(C, A);  // owned: stays usable
  Load(Z);     // owned by the hidden owner window: stays usable
  Load(D);     // disabled already: stays disabled afterwards
  std::map<std::string, bool> enabled_inside;
  fake_.Then([&] {
    for (const char* name : {"A", "C", "Z", "D"}) enabled_inside[name] = fake_.Live(name).enabled;
    EXPECT_FALSE(Fake(M).taskbar);
    EXPECT_EQ(Fake(M).owner, nullptr);
  });
  fake_.Then([] { RequestDestroy(M); });
  fake_.Then([] { Note("too late"); });
  EXPECT_TRUE(LoadWindow(M, C, true));  // the owner is ignored for a modal load
  EXPECT_EQ(enabled_inside,
            (std::map<std::string, bool>{{"A", false}, {"C", true}, {"Z", true}, {"D", false}}));
  EXPECT_FALSE(toolkit_.IsLoaded(M));
  EXPECT_EQ(fake_.actions.size(), 1U);
  EXPECT_TRUE(Fake(A).enabled);
  EXPECT_FALSE(Fake(D).enabled);
  EXPECT_EQ(std::count(Fake(D).calls.begin(), Fake(D).calls.end(), "enable"), 0);
  EXPECT_EQ(Events(),
            (Log{"M.Created", "M.PositionChanged", "M.SizeChanged", "M.WillBeDestroyed"}));
}

TEST_F(ToolkitTest, ClosingAModalWindowEndsItsLoopAndReenables) {
  Load(A);
  fake_.Then([this] { Fake(M).UserClose(); });
  EXPECT_TRUE(LoadWindow(M, std::nullopt, true));
  EXPECT_FALSE(toolkit_.IsLoaded(M));
  EXPECT_TRUE(Fake(A).enabled);
}

TEST_F(ToolkitTest, HiddenModalWindowWaitsForVisibleToShowAndRunItsLoop) {
  Load(A);
  WriteProperty(M, kSelf, Prop::visible, 0);
  fake_.Then([] { RequestDestroy(M); });
  EXPECT_TRUE(LoadWindow(M, std::nullopt, true));
  EXPECT_TRUE(toolkit_.IsLoaded(M));
  EXPECT_FALSE(Fake(M).shown);
  EXPECT_FALSE(Fake(A).enabled);
  EXPECT_EQ(fake_.actions.size(), 1U);

  WriteProperty(M, kSelf, Prop::visible, 1);  // shows M, then waits in its loop
  EXPECT_FALSE(toolkit_.IsLoaded(M));
  EXPECT_TRUE(fake_.actions.empty());
  EXPECT_EQ(fake_.Last("M")->calls, (std::vector<std::string>{"create", "show", "destroy"}));
  EXPECT_TRUE(Fake(A).enabled);
}

TEST_F(ToolkitTest, ModalLoopStopsOnceTheQuitIsPosted) {
  fake_.Then([this] { hooks_.quit = true; });
  fake_.Then([] { Note("not reached"); });
  EXPECT_TRUE(LoadWindow(M, std::nullopt, true));
  EXPECT_TRUE(toolkit_.IsLoaded(M));
  EXPECT_EQ(fake_.actions.size(), 1U);
}

// ---- Misuse, message box -----------------------------------------------------------------------

TEST_F(ToolkitTest, MisusesAreFatal) {
  const WindowId kUndeclared{kWindowCount};
  const std::function<void()> kMisuses[] = {
      [&] { ReadProperty(kUndeclared, kSelf, Prop::left); },
      [&] { WriteProperty(kUndeclared, kSelf, Prop::width, 1); },
      [&] { ReadProperty(WindowId{-1}, kSelf, Prop::top); },
      [] { ReadProperty(A, kEdit, TextProp::content); },
      [] { WriteProperty(A, kEdit, TextProp::content, "x"); },
      [] { WriteProperty(A, kWeb, TextProp::url, "about:blank"); },
      [] { ReadProperty(A, kBox, Prop::checked); },
      [] { WriteProperty(A, kBox, Prop::checked, 1); },
      [] { RequestDestroy(A); },
  };
  int i = 0;
  for (const auto& misuse : kMisuses) {
    SCOPED_TRACE(i++);
    EXPECT_THROW(misuse(), TestFatal);
  }
  EXPECT_TRUE(g_log.empty());
  EXPECT_TRUE(fake_.windows.empty());
}

TEST_F(ToolkitTest, MessageBoxDisablesTheProgramWhileUpUnlessSystemModal) {
  Load(A);
  Load(C, A);
  Load(D);
  fake_.box_answer = 5;
  const struct {
    int flags;
    bool disabled;
  } kCases[] = {{64, true}, {0x1000 | 64, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.flags);
    fake_.boxes.clear();
    EXPECT_EQ(ShowMessageBox("text", c.flags, "title", A), 5);
    ASSERT_EQ(fake_.boxes.size(), 1U);
    const MessageBoxCall& box = fake_.boxes[0];
    EXPECT_EQ(box.text, "text");
    EXPECT_EQ(box.flags, c.flags);
    EXPECT_EQ(box.title, "title");
    EXPECT_EQ(box.enabled,
              (std::map<std::string, bool>{{"A", !c.disabled}, {"C", !c.disabled}, {"D", false}}));
    EXPECT_TRUE(Fake(A).enabled);
    EXPECT_TRUE(Fake(C).enabled);
    EXPECT_FALSE(Fake(D).enabled);
  }
  EXPECT_EQ(ShowMessageBox("", 0, std::nullopt, std::nullopt), 5);
  EXPECT_EQ(fake_.boxes.back().title, std::nullopt);
}

}  // namespace
}  // namespace xm
