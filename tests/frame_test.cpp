// frame_test.cpp — the application frame on the recording double: the run state with the
// order of hooks and cursor calls, mouse dispatch, painting and palettes, the repeat of a
// looping tune, the start-up and shut-down order, and the timing of the main loop.
#include "frame/frame.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "sound/sound.h"
#include "tests/double/double.h"

using Lines = std::vector<std::string>;

// ---------------------------------------------------------------------------------------
// A small application whose hooks log themselves into the double's call log.

namespace Hooks {
std::function<void(int, char**)> Configure;
std::function<void()> Start;
std::function<void()> Tick;
}  // namespace Hooks

static std::string Join(const char* name, int32_t a, int32_t b) {
  return std::string(name) + " " + std::to_string(a) + " " + std::to_string(b);
}

void OnConfigure(int argc, char** argv) {
  Double::Record("OnConfigure " + std::to_string(argc) + " " + (argc > 0 ? argv[0] : ""));
  if (Hooks::Configure) Hooks::Configure(argc, argv);
}
void OnStart() {
  Double::Record("OnStart");
  if (Hooks::Start) Hooks::Start();
}
void OnEnd() { Double::Record("OnEnd"); }
void OnPause() { Double::Record("OnPause " + std::to_string(RunFlags)); }
void OnResume() { Double::Record("OnResume " + std::to_string(RunFlags)); }
void OnTick() {
  Double::Record("OnTick " + std::to_string(LastTickTime));
  if (Hooks::Tick) Hooks::Tick();
}
void OnMouseMove(int32_t x, int32_t y, int32_t left, int32_t right) {
  Double::Record(Join("OnMouseMove", x, y) + " " + std::to_string(left) + " " +
                 std::to_string(right));
}
void OnLeftDown(int32_t x, int32_t y) { Double::Record(Join("OnLeftDown", x, y)); }
void OnLeftUp(int32_t x, int32_t y) { Double::Record(Join("OnLeftUp", x, y)); }
void OnRightDown(int32_t x, int32_t y) { Double::Record(Join("OnRightDown", x, y)); }
void OnRightUp(int32_t x, int32_t y) { Double::Record(Join("OnRightUp", x, y)); }

namespace {

WindowHandle TestWindow() { return reinterpret_cast<WindowHandle>(&Double::Calls); }

int32_t Send(uint32_t message, uintptr_t first = 0, intptr_t second = 0) {
  return FrameWndProc(MainWindow, message, first, second);
}

intptr_t Size(uint32_t width, uint32_t height) {
  return static_cast<intptr_t>(width | height << 16);
}

// Index of the first line equal to `line` (or starting with it), or -1.
int Find(const std::string& line) {
  for (size_t i = 0; i < Double::Calls.size(); ++i)
    if (Double::Calls[i].compare(0, line.size(), line) == 0) return static_cast<int>(i);
  return -1;
}

class FrameTest : public testing::Test {
 protected:
  void SetUp() override {
    Double::Reset();
    Hooks::Configure = nullptr;
    Hooks::Start = nullptr;
    Hooks::Tick = nullptr;
    RunFlags = RunMinimised;
    MouseState = {0, 0, 0, 0};
    ClientRect = {0, 0, 0, 0};
    MainWindow = TestWindow();
    NoticeWindow = MainWindow;  // as RunApplication hands it down
    Double::Window = MainWindow;
    WindowPos = {0, 0};
    AppName = "ZOR32";
    IconName = "AppIcon";
    TickInterval = 100;
    IniPath[0] = 0;
    AppArgCount = 0;
    AppArgVector = nullptr;
    MusicNowPlaying = {0, 0};
  }
};

// ---------------------------------------------------------------------------------------
// Run state.

enum Event { PKey, FocusLost, FocusGained, Minimised, Restored };

void Apply(Event event) {
  switch (event) {
    case PKey:
      Send(WM_CHAR, 'P');
      break;
    case FocusLost:
      Send(WM_KILLFOCUS);
      break;
    case FocusGained:
      Send(WM_SETFOCUS);
      break;
    case Minimised:
      Send(WM_SIZE, SIZE_MINIMIZED, 0);
      break;
    case Restored:
      Send(WM_SIZE, SIZE_RESTORED, Size(512, 384));
      break;
  }
}

// The calls of EnterRunning with the client area at (41, 60) and the cursor inside it.
const Lines Enter = {"ClientToScreen 0 0", "ClientToScreen 512 384", "GetCursorPosition",
                     "ClipCursorTo 41 60 553 444", "OnResume 0"};
const Lines Leave = {"OnPause 0", "ClipCursorTo none"};

struct Transition {
  uint32_t from;
  Event event;
  uint32_t to;
  const Lines* calls;  // null: none
};

// Every state that occurs under every event: the resulting state and the calls, in order.
const Transition Table[] = {
    {4, PKey, 5, nullptr},        {4, FocusLost, 7, nullptr},   {4, FocusGained, 4, nullptr},
    {4, Minimised, 5, nullptr},   {4, Restored, 0, &Enter},     {0, PKey, 1, &Leave},
    {0, FocusLost, 3, &Leave},    {0, FocusGained, 0, nullptr}, {0, Minimised, 5, &Leave},
    {0, Restored, 0, nullptr},    {1, PKey, 0, &Enter},         {1, FocusLost, 3, nullptr},
    {1, FocusGained, 1, nullptr}, {1, Minimised, 5, nullptr},   {1, Restored, 1, nullptr},
    {3, PKey, 3, nullptr},        {3, FocusLost, 3, nullptr},   {3, FocusGained, 1, nullptr},
    {3, Minimised, 7, nullptr},   {3, Restored, 3, nullptr},    {5, PKey, 5, nullptr},
    {5, FocusLost, 7, nullptr},   {5, FocusGained, 5, nullptr}, {5, Minimised, 5, nullptr},
    {5, Restored, 1, nullptr},    {7, PKey, 7, nullptr},        {7, FocusLost, 7, nullptr},
    {7, FocusGained, 5, nullptr}, {7, Minimised, 7, nullptr},   {7, Restored, 3, nullptr},
};

TEST_F(FrameTest, EveryStateUnderEveryEventFollowsTheTableWithItsCallsInOrder) {
  for (const Transition& t : Table) {
    RunFlags = t.from;
    Double::Calls.clear();
    Apply(t.event);
    EXPECT_EQ(RunFlags, t.to) << "from " << t.from << " event " << t.event;
    EXPECT_EQ(Double::Calls, t.calls != nullptr ? *t.calls : Lines{})
        << "from " << t.from << " event " << t.event;
  }
}

TEST_F(FrameTest, PauseAndResumeAlternateUnderAnyEventSequence) {
  std::mt19937 random(7);
  Apply(Restored);
  int balance = 1;  // OnResume calls minus OnPause calls
  for (int i = 0; i < 5000; ++i) {
    Double::Calls.clear();
    Apply(static_cast<Event>(random() % 5));
    for (const std::string& line : Double::Calls) {
      if (line.rfind("OnResume", 0) == 0) balance += 1;
      if (line.rfind("OnPause", 0) == 0) balance -= 1;
      ASSERT_TRUE(balance == 0 || balance == 1) << i;
    }
    ASSERT_TRUE(RunFlags == 0 || RunFlags == 1 || RunFlags == 3 || RunFlags == 5 || RunFlags == 7)
        << RunFlags;
    ASSERT_EQ(balance == 1, RunFlags == 0);
  }
}

TEST_F(FrameTest, ResumingClampsTheCursorIntoTheClientAreaFirstThenConfinesIt) {
  // 10 pixels left of and 500 below the client area's top-left corner (41, 60).
  RunFlags = 1;
  Double::Cursor = {31, 560};
  Apply(PKey);
  EXPECT_EQ(Double::Calls,
            (Lines{"ClientToScreen 0 0", "ClientToScreen 512 384", "GetCursorPosition",
                   "SetCursorPosition 41 444", "ClipCursorTo 41 60 553 444", "OnResume 0"}));
  EXPECT_EQ(ClientRect.left, 41);
  EXPECT_EQ(ClientRect.bottom, 444);
  // The bounds are inclusive: a cursor on the right or bottom edge is not moved.
  for (Point edge : {Point{553, 444}, Point{41, 60}, Point{553, 60}}) {
    RunFlags = 1;
    Double::Cursor = edge;
    Double::Calls.clear();
    Apply(PKey);
    EXPECT_FALSE(Double::Called("SetCursorPosition")) << edge.x << "," << edge.y;
  }
  RunFlags = 1;
  Double::Cursor = {600, 10};
  Double::Calls.clear();
  Apply(PKey);
  EXPECT_EQ(Double::CallsStartingWith("SetCursorPosition"), (Lines{"SetCursorPosition 553 60"}));
}

TEST_F(FrameTest, BothCasesOfPToggleAndEveryOtherCharacterIsIgnored) {
  RunFlags = 0;
  EXPECT_EQ(Send(WM_CHAR, 'p'), 0);
  EXPECT_EQ(RunFlags, 1u);
  EXPECT_EQ(Send(WM_CHAR, 'p'), 0);
  EXPECT_EQ(RunFlags, 0u);
  Double::Calls.clear();
  for (uintptr_t c : {uintptr_t('q'), uintptr_t('O'), uintptr_t(' '), uintptr_t(0x150),
                      uintptr_t(0x10070), uintptr_t(0x0D)}) {
    EXPECT_EQ(Send(WM_CHAR, c), 0);
    EXPECT_EQ(RunFlags, 0u);
  }
  EXPECT_TRUE(Double::Calls.empty());
}

// ---------------------------------------------------------------------------------------
// Mouse.

TEST_F(FrameTest, MouseHooksRunOnlyWhileRunningAndButtonsUseTheLastMovePosition) {
  RunFlags = 0;
  Send(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, Size(12, 34));
  Send(WM_LBUTTONDOWN, MK_LBUTTON, Size(99, 99));  // its own position is not read
  Send(WM_RBUTTONUP, 0, Size(98, 98));
  EXPECT_EQ(Double::Calls, (Lines{"OnMouseMove 12 34 1 1", "OnLeftDown 12 34", "OnRightUp 12 34"}));
  // Paused: the state follows, the hooks stay silent.
  RunFlags = 1;
  Double::Calls.clear();
  Send(WM_MOUSEMOVE, MK_RBUTTON, Size(200, 100));
  Send(WM_LBUTTONUP, 0, Size(1, 1));
  EXPECT_TRUE(Double::Calls.empty());
  EXPECT_EQ(MouseState.x, 200);
  EXPECT_EQ(MouseState.y, 100);
  EXPECT_EQ(MouseState.left, 0);
  EXPECT_EQ(MouseState.right, 1);
  // After resuming, a press reports where the mouse last moved, while paused.
  Apply(PKey);
  Double::Calls.clear();
  Send(WM_LBUTTONDOWN, MK_LBUTTON, Size(5, 5));
  Send(WM_RBUTTONDOWN, MK_RBUTTON, Size(5, 5));
  Send(WM_LBUTTONUP, 0, Size(5, 5));
  EXPECT_EQ(Double::Calls,
            (Lines{"OnLeftDown 200 100", "OnRightDown 200 100", "OnLeftUp 200 100"}));
  EXPECT_EQ(MouseState.left, 0);
  EXPECT_EQ(MouseState.right, 1);
}

TEST_F(FrameTest, MovePositionsAreTakenAsUnsigned16BitValues) {
  RunFlags = 0;
  Send(WM_MOUSEMOVE, 0, static_cast<intptr_t>(0xFFFE'FFFFu));  // (-1, -2) as 16-bit values
  EXPECT_EQ(Double::Calls, (Lines{"OnMouseMove 65535 65534 0 0"}));
}

TEST_F(FrameTest, DoubleClicksGoToTheDefaultHandlingAndReachNoHook) {
  RunFlags = 0;
  Send(WM_MOUSEMOVE, 0, Size(7, 8));
  Double::Calls.clear();
  Send(WM_LBUTTONDBLCLK, MK_LBUTTON, Size(7, 8));
  Send(WM_RBUTTONDBLCLK, MK_RBUTTON, Size(7, 8));
  EXPECT_EQ(Double::Calls, (Lines{"DefaultWindowProcedure 0x203", "DefaultWindowProcedure 0x206"}));
  EXPECT_EQ(MouseState.left, 0);
  EXPECT_EQ(MouseState.right, 0);
}

// ---------------------------------------------------------------------------------------
// Size, painting, palettes, the tune, destruction.

TEST_F(FrameTest, ARestoredSizeOtherThan512By384MovesTheWindowKeepingItsCorner) {
  RunFlags = 0;
  Double::OuterRect = {40, 40, 40 + 514, 40 + 386};  // a client area of 512 by 365
  Send(WM_SIZE, SIZE_RESTORED, Size(512, 365));
  EXPECT_EQ(Double::Calls, (Lines{"GetOuterRect", "MoveMainWindow 40 40 514 405 1"}));
  Double::Calls.clear();
  Send(WM_SIZE, SIZE_RESTORED, Size(512, 384));
  EXPECT_TRUE(Double::Calls.empty());
}

TEST_F(FrameTest, PaintingCopiesTheWholeFrameBetweenBeginAndEnd) {
  Send(WM_PAINT);
  EXPECT_EQ(Double::Calls, (Lines{"BeginPaint", "SelectPalette", "RealizePalette",
                                  "BlockCopy 0 0 512 384 from 0 0", "EndPaint"}));
}

TEST_F(FrameTest, PaletteMessagesRealiseTheWindowPaletteAndRepaintOnlyOnChange) {
  int marker = 0;
  WindowPalette = reinterpret_cast<PaletteHandle>(&marker);
  EXPECT_EQ(Send(WM_QUERYNEWPALETTE), 0);
  EXPECT_EQ(Double::Calls, (Lines{"GetWindowContext", "SelectPalette", "RealizePalette",
                                  "ReleaseContext window"}));
  Double::RealizeResult = 12;
  Double::Calls.clear();
  EXPECT_EQ(Send(WM_PALETTECHANGED, 0x1234), 12);
  EXPECT_EQ(Double::Calls, (Lines{"GetWindowContext", "SelectPalette", "RealizePalette",
                                  "ReleaseContext window", "InvalidateClient 1"}));
  Double::Calls.clear();
  EXPECT_EQ(Send(WM_PALETTECHANGED, reinterpret_cast<uintptr_t>(MainWindow)), 0);
  EXPECT_TRUE(Double::Calls.empty());
  // Without a window palette nothing is selected.
  WindowPalette = nullptr;
  Double::Calls.clear();
  EXPECT_EQ(Send(WM_QUERYNEWPALETTE), 12);
  EXPECT_FALSE(Double::Called("SelectPalette"));
}

TEST_F(FrameTest, OnlyASuccessfulNoticeOfALoopingTuneStartsItAgain) {
  MusicNowPlaying = {7, 2};
  EXPECT_EQ(Send(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 3), 0);
  EXPECT_EQ(Double::Calls, (Lines{"SendMediaCommand 7 0x806 0x5 main from 0"}));
  EXPECT_EQ(MusicNowPlaying.deviceId, 7u);
  EXPECT_EQ(MusicNowPlaying.mode, 2u);
  Double::Calls.clear();
  for (uintptr_t code : {MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_ABORTED, MCI_NOTIFY_FAILURE})
    Send(MM_MCINOTIFY, code, 7);
  for (uint32_t mode : {0u, 1u}) {
    MusicNowPlaying.mode = mode;
    Send(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 7);
  }
  EXPECT_TRUE(Double::Calls.empty());
}

TEST_F(FrameTest, DestructionSavesTheOuterCornerAndPostsQuitWithZero) {
  Double::OuterRect = {-7, 33, 507, 438};
  EXPECT_EQ(Send(WM_DESTROY), 0);
  EXPECT_EQ(WindowPos.left, -7);
  EXPECT_EQ(WindowPos.top, 33);
  EXPECT_EQ(Double::Calls, (Lines{"GetOuterRect", "PostQuit 0"}));
}

TEST_F(FrameTest, OtherMessagesGoToTheDefaultHandling) {
  Send(WM_CLOSE);
  Send(WM_KEYDOWN, 'P');
  EXPECT_EQ(Double::Calls, (Lines{"DefaultWindowProcedure 0x10", "DestroyMainWindow",
                                  "DefaultWindowProcedure 0x100"}));
}

// ---------------------------------------------------------------------------------------
// Start-up and shut-down.

// Ends the main loop at its first idle pass.
void QuitWhenIdle() {
  Double::OnEmptyQueue = [] { Double::Queue.push_back({nullptr, WM_QUIT, 0, 0}); };
}

TEST_F(FrameTest, StartUpRunsInOrderAndTheFirstResumeComesBeforeOnStart) {
  NoticeWindow = nullptr;
  Hooks::Start = [] {
    EXPECT_EQ(NoticeWindow, MainWindow);  // handed down to the sound players
    DestroyMainWindow(MainWindow);
  };
  EXPECT_EQ(RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT), 0);
  const char* order[] = {"CreatePalette 256 0/0/0/4",  // ResetSystemPalette
                         "OnConfigure 1 /opt/torvex32/bin/torvex32",
                         "LoadProgramIcon AppIcon",
                         "RegisterWindowClass ZOR32 0x100B",
                         "CreateBitmapSection 516 384 8",
                         "AllocZeroed",
                         "CreateMainWindow ZOR32 ZOR32 0xCA0000 -2147483648 -2147483648 514 386",
                         "ShowMainWindow 10",
                         "OnResume 0",
                         "MoveMainWindow",
                         "UpdateMainWindow",
                         "BlockCopy",
                         "OnStart",
                         "DestroyMainWindow",
                         "OnPause 0",
                         "PostQuit 0",
                         "OnEnd",
                         "DeleteBitmap",
                         "FreeBlock"};
  int last = -1;
  for (const char* line : order) {
    int at = Find(line);
    EXPECT_GT(at, last) << line;
    last = at;
  }
  EXPECT_FALSE(Double::Called("GetProfileInt"));
  EXPECT_FALSE(Double::Called("WriteProfileString"));
  EXPECT_FALSE(Double::Called("OnTick"));  // the loop ended at its first message
  EXPECT_EQ(Double::CallsStartingWith("OnResume").size(), 1u);
}

// A failure box in OnStart has no owner, yet it takes the focus: the system pauses and frees
// the pointer before the box waits for its OK, also when the window system has not told the
// window of its focus yet (the pointer is confined all the same), and the exit code that
// OnStart posts after the window's destruction is the program's.
TEST_F(FrameTest, AnOwnerlessBoxPausesAndFreesThePointerBeforeItWaits) {
  for (bool focusToldFirst : {true, false}) {
    Double::Reset();
    RunFlags = RunMinimised;
    if (!focusToldFirst) {
      Double::OnShow = [](WindowHandle, int32_t) {
        Double::Send(WM_SIZE, SIZE_RESTORED, 512 | 384 << 16);
      };
    }
    Hooks::Start = [] {
      ShowMessageBox(nullptr, "Couldn't Open 'X' !", "ERROR", MB_OK);
      DestroyMainWindow(MainWindow);
      PostQuit(1);
    };
    EXPECT_EQ(RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT), 1);
    const int box = Find("ShowMessageBox none|ERROR");
    ASSERT_GE(box, 0);
    EXPECT_EQ(Double::Calls[box + 1], "OnPause 0") << focusToldFirst;
    EXPECT_EQ(Double::Calls[box + 2], "ClipCursorTo none") << focusToldFirst;
    EXPECT_EQ(Find("OnResume"), Find("OnResume 0"));  // resumed once, at the first size only
    EXPECT_EQ(RunFlags & RunPausedByUser, RunPausedByUser);
  }
}

TEST_F(FrameTest, AFailedClassRegistrationReturnsZeroBeforeAnythingElse) {
  Double::RegisterFails = true;
  EXPECT_EQ(RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT), 0);
  EXPECT_TRUE(Double::Called("OnConfigure"));
  for (const char* never :
       {"CreateBitmapSection", "AllocZeroed", "CreateMainWindow", "OnStart", "OnEnd", "OnResume"})
    EXPECT_FALSE(Double::Called(never)) << never;
}

TEST_F(FrameTest, TheShowCommandPassesExceptMaximisedWhichShowsNormally) {
  QuitWhenIdle();
  RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWMAXIMIZED);
  EXPECT_TRUE(Double::Called("ShowMainWindow 1"));
  Double::Reset();
  QuitWhenIdle();
  RunApplication(GetProgramInstance(), nullptr, "", 7);
  EXPECT_TRUE(Double::Called("ShowMainWindow 7"));
}

TEST_F(FrameTest, TheProfileGivesThePositionAndReceivesTheOneSavedOnDestroy) {
  Hooks::Configure = [](int, char**) { snprintf(IniPath, sizeof IniPath, "/config/T.INI"); };
  Double::Profiles["/config/T.INI"]["setup"]["LEFT"] = "40";
  Double::Profiles["/config/T.INI"]["setup"]["top"] = "20";
  Hooks::Start = [] {
    Double::OuterRect = {123, 45, 123 + 514, 45 + 405};  // the user moved it
    DestroyMainWindow(MainWindow);
  };
  EXPECT_EQ(RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT), 0);
  EXPECT_TRUE(Double::Called("CreateMainWindow ZOR32 ZOR32 0xCA0000 40 20 514 386"));
  EXPECT_EQ(Double::CallsStartingWith("WriteProfileString"),
            (Lines{"WriteProfileString Setup Left 123 /config/T.INI",
                   "WriteProfileString Setup Top 45 /config/T.INI"}));
  EXPECT_LT(Find("WriteProfileString"), Find("OnEnd"));
}

TEST_F(FrameTest, WithoutAFileThePositionIsZeroAndTheFileIsWrittenAtTheEnd) {
  Hooks::Configure = [](int, char**) { snprintf(IniPath, sizeof IniPath, "/config/NEW.INI"); };
  QuitWhenIdle();  // the loop ends without a destruction: the position read is written back
  RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
  EXPECT_TRUE(Double::Called("CreateMainWindow ZOR32 ZOR32 0xCA0000 0 0 514 386"));
  EXPECT_EQ(Double::Profiles["/config/NEW.INI"]["Setup"]["Left"], "0");
  EXPECT_EQ(Double::Profiles["/config/NEW.INI"]["Setup"]["Top"], "0");
}

TEST_F(FrameTest, APositionOnNoScreenIsMovedOntoTheFirstAndVisibleOnesAreKept) {
  struct Case {
    const char* left;
    const char* top;
    const char* created;
  } cases[] = {{"-32000", "-32000", "255 191"},  // saved while minimised
               {"3000", "100", "255 191"},       // a display that is gone
               {"1023", "767", "1023 767"},      // one pixel shows
               {"-513", "-385", "-513 -385"},   {"-514", "10", "255 191"},
               {"1200", "-10", "1200 -10"},  // on the second screen
               {"-2147483648", "100", "255 191"},  // the number of the platform's own choice
               {"2147483647", "2147483647", "255 191"}};
  for (const Case& c : cases) {
    Double::Reset();
    Double::Screens = {{0, 0, 1024, 768}, {1024, -100, 2048, 668}};
    Hooks::Configure = [](int, char**) { snprintf(IniPath, sizeof IniPath, "/config/P.INI"); };
    Double::Profiles["/config/P.INI"]["Setup"]["Left"] = c.left;
    Double::Profiles["/config/P.INI"]["Setup"]["Top"] = c.top;
    QuitWhenIdle();
    RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
    EXPECT_TRUE(Double::Called(std::string("CreateMainWindow ZOR32 ZOR32 0xCA0000 ") + c.created +
                               " 514 386"))
        << c.left << "," << c.top;
  }
}

TEST_F(FrameTest, WhatCannotBeBuiltEndsTheProgramWithOneLineAndReleasesTheRest) {
  struct Case {
    bool* knob;
    const char* line;
    const char* mustBeReleased;
  } cases[] = {
      {&Double::BitmapFails, "ZOR32: cannot create the frame buffer\n", "DeletePalette"},
      {&Double::AllocFails, "ZOR32: cannot allocate the Playfield block\n", "DeleteBitmap"},
      {&Double::CreateWindowFails, "ZOR32: cannot create the window: no display (double)\n",
       "FreeBlock"}};
  for (const Case& c : cases) {
    Double::Reset();
    *c.knob = true;
    testing::internal::CaptureStderr();
    int32_t exitCode = RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    EXPECT_NE(exitCode, 0) << c.line;
    EXPECT_TRUE(Double::Called(c.mustBeReleased)) << c.line;
    EXPECT_FALSE(Double::Called("OnStart")) << c.line;
    EXPECT_FALSE(Double::Called("OnEnd")) << c.line;
    EXPECT_EQ(FrameDC, nullptr);
  }
}

// ---------------------------------------------------------------------------------------
// The main loop's timing.

// Runs the loop with the clock advancing `step` per reading until `ticks` steps were made.
Lines RunTicks(uint32_t start, uint32_t step, int ticks) {
  Double::Clock = start;
  Double::ClockStep = step;
  static int made;
  made = 0;
  static int wanted;
  wanted = ticks;
  Hooks::Tick = [] {
    if (++made == wanted) PostQuit(0);
  };
  Hooks::Start = [] { Double::Calls.clear(); };
  RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
  return Double::CallsStartingWith("OnTick");
}

TEST_F(FrameTest, StepsStartTickIntervalApartOrBackToBackWithZero) {
  EXPECT_EQ(RunTicks(1000, 1, 3), (Lines{"OnTick 1100", "OnTick 1200", "OnTick 1300"}));
  Double::Reset();
  TickInterval = 0;
  EXPECT_EQ(RunTicks(1000, 1, 3), (Lines{"OnTick 1001", "OnTick 1002", "OnTick 1003"}));
  Double::Reset();
  EXPECT_EQ(RunTicks(1000, 0, 3), (Lines{"OnTick 1000", "OnTick 1000", "OnTick 1000"}));
}

TEST_F(FrameTest, StepsKeepTheirIntervalAcrossTheWrapOfTheTickCount) {
  Lines ticks = RunTicks(0xFFFFFF00u, 1, 4);
  EXPECT_EQ(ticks, (Lines{"OnTick 4294967140", "OnTick 4294967240", "OnTick 44", "OnTick 144"}));
}

TEST_F(FrameTest, MessagesGoFirstAndPausedStepsAdvanceTheTimeWithoutTicking) {
  TickInterval = 0;
  Double::ClockStep = 1;
  // Queued before the loop starts: a pause; then every idle pass is a skipped step, until the
  // clock passes 1050, when P resumes and one step quits.
  Hooks::Start = [] { Double::Queue.push_back({MainWindow, WM_CHAR, 'p', 0}); };
  Hooks::Tick = [] { PostQuit(0); };
  Double::OnEmptyQueue = [] {
    if (Double::Clock > 1050 && RunFlags != 0)
      Double::Queue.push_back({MainWindow, WM_CHAR, 'P', 0});
  };
  RunApplication(GetProgramInstance(), nullptr, "", SW_SHOWDEFAULT);
  Lines hooks;
  for (const std::string& line : Double::Calls)
    if (line.rfind("OnPause", 0) == 0 || line.rfind("OnResume", 0) == 0 ||
        line.rfind("OnTick", 0) == 0)
      hooks.push_back(line.substr(0, line.find(' ')));
  EXPECT_EQ(hooks, (Lines{"OnResume", "OnPause", "OnResume", "OnTick"}));
  EXPECT_GT(LastTickTime, 1050u);  // the skipped steps moved it on
}

}  // namespace
