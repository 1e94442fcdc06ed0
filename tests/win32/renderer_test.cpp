// The Win32 renderer in this process under Wine: what the system does to a
// window's focus, clicks and modal loops, and what the renderer must do about it.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "widgets/win32/paint_win32.h"
#include "widgets/win32/renderer_win32.h"

namespace {

// Messages for ms milliseconds, as a modal box's loop delivers them.
void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

// A form of three buttons A, B, C (tab stops, in that order) and a timer.
class RendererTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr);
    TWin32Renderer::RegisterClasses(GetModuleHandleA(nullptr));
  }
  static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(gdiplusToken_); }

  void SetUp() override {
    form_.SetClientSize(300, 100);
    form_.SetCaption("Renderer test");
    for (TGlassButton* b : {&a_, &b_, &c_}) {
      b->SetCaption(b->Name());
      b->OnClick = [this](TControl& sender) { clicks_.push_back(sender.Name()); };
    }
    a_.SetBounds(10, 10, 80, 30);
    b_.SetBounds(110, 10, 80, 30);
    c_.SetBounds(210, 10, 80, 30);
    renderer_ = std::make_unique<TWin32Renderer>(GetModuleHandleA(nullptr), form_,
                                                  [this](const std::string& m) { OnReport(m); });
    ShowWindow(renderer_->Window(), SW_SHOWNORMAL);
    UpdateWindow(renderer_->Window());
    SetForegroundWindow(renderer_->Window());
    Pump(50);
  }
  void TearDown() override {
    timer_.SetEnabled(false);
    renderer_.reset();
    Pump(20);
  }

  HWND Of(const TControl& c) const { return renderer_->WindowOf(c); }

  TForm form_{"Form"};
  TGlassButton a_{"A", &form_}, b_{"B", &form_}, c_{"C", &form_};
  TTimer timer_{form_, "Timer", 10};
  std::unique_ptr<TWin32Renderer> renderer_;
  std::vector<std::string> clicks_;
  std::vector<std::string> reports_;
  std::function<void(const std::string&)> OnReport = [this](const std::string& m) { reports_.push_back(m); };

 private:
  static ULONG_PTR gdiplusToken_;
};

ULONG_PTR RendererTest::gdiplusToken_ = 0;

// The button sees a real double click: down, up, double-click, up.
TEST_F(RendererTest, BothClicksOfADoubleClickAreClicks) {
  HWND w = Of(b_);
  ASSERT_NE(w, nullptr);
  const LPARAM inside = MAKELPARAM(20, 10);
  for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    SendMessageA(w, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, inside);
  Pump(20);
  EXPECT_EQ(clicks_, (std::vector<std::string>{"B", "B"}));
}

// Tab goes on from the form as from a control: the keyboard stays alive.
TEST_F(RendererTest, TheFormTakesTheFocusFromADisabledOrHiddenControl) {
  for (const bool hide : {false, true}) {
    SCOPED_TRACE(hide ? "hidden" : "disabled");
    b_.SetEnabled(true);
    b_.SetVisible(true);
    SetFocus(Of(b_));
    ASSERT_EQ(GetFocus(), Of(b_));
    if (hide)
      b_.SetVisible(false);
    else
      b_.SetEnabled(false);
    EXPECT_EQ(GetFocus(), renderer_->Window());
    MSG tab = {renderer_->Window(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_TRUE(IsDialogMessageA(renderer_->Window(), &tab));
    EXPECT_EQ(GetFocus(), Of(a_));
  }
}

TEST_F(RendererTest, FocusElsewhereStaysWhereItIs) {
  SetFocus(Of(c_));
  a_.SetEnabled(false);
  b_.SetVisible(false);
  EXPECT_EQ(GetFocus(), Of(c_));
}

// A change of the system's colours reaches the form's face at once.
TEST_F(RendererTest, TheFaceFollowsTheSystemColours) {
  INT element = COLOR_BTNFACE;
  const COLORREF before = GetSysColor(element);
  const COLORREF changed = RGB(200, 30, 40);
  SetSysColors(1, &element, &changed);
  Pump(100);
  HDC dc = GetDC(renderer_->Window());
  const COLORREF shown = GetPixel(dc, 5, 90);  // below the buttons: the face
  ReleaseDC(renderer_->Window(), dc);
  SetSysColors(1, &element, &before);
  Pump(50);
  EXPECT_EQ(shown, changed);
}

// A handler that fails at every tick, while the first failure's box is open
// and its loop delivers the ticks: one box, not one inside the other.
TEST_F(RendererTest, OneReportAtATimeWhileATimerKeepsFailing) {
  int ticks = 0;
  timer_.OnTimer = [&ticks] {
    ++ticks;
    throw std::runtime_error("tick failed");
  };
  int depth = 0, deepest = 0;
  OnReport = [&](const std::string& m) {
    reports_.push_back(m);
    deepest = std::max(deepest, ++depth);
    if (depth == 1) Pump(300);  // a nested report comes back at once: the test ends either way
    --depth;
  };
  timer_.SetEnabled(true);
  Pump(500);
  timer_.SetEnabled(false);
  EXPECT_GT(ticks, 3);
  EXPECT_EQ(deepest, 1);
  ASSERT_FALSE(reports_.empty());
  EXPECT_EQ(reports_[0], "tick failed");
  // A failure after the box was closed is reported again.
  EXPECT_GE(reports_.size(), 2u);
}

}  // namespace
