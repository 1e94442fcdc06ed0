// The Win32 renderer: binds a form's portable widgets to real windows.
//
// Every widget a user sees is a real child window whose text is its caption
// and whose visible and enabled states are the widget's, so screen readers,
// keyboard users and test probes see what a user sees: glass buttons and
// clickable pictures are owner-drawn BUTTONs, labels and decorative pictures
// owner-drawn STATICs, the size box an owner-drawn COMBOBOX, the help text an
// owner-drawn LISTBOX; the form and its panels are windows of our own class.
// The portable objects tell the renderer of each change as it happens (it is
// their observer), and it hands clicks, picks and timer ticks back to them.
// Places are scaled from 96 DPI to the screen's.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "widgets/look_generations.h"
#include "widgets/widgets.h"
#include "widgets/win32/paint_win32.h"

class TWin32Renderer : public TWidgetObserver {
 public:
  // Creates the form's window and every child window; reportException is
  // called with the message of an exception that a handler let escape.
  TWin32Renderer(HINSTANCE instance, TForm& form, std::function<void(const std::string&)> reportException);
  ~TWin32Renderer() override;
  TWin32Renderer(const TWin32Renderer&) = delete;
  TWin32Renderer& operator=(const TWin32Renderer&) = delete;

  HWND Window() const { return form_window_; }
  // The window of a control, or nullptr.
  HWND WindowOf(const TControl& control) const;
  // Runs a handler of portable code; an exception it lets escape is reported
  // here, since unwinding cannot cross the system's window procedures. One
  // report at a time: one that comes while another is shown is dropped.
  void Guarded(const std::function<void()>& fn);
  // For the message loop: Enter on a focused button clicks it; Left and
  // Right go to the focused control's key handler (the form's, while the
  // form has the focus).
  bool TranslateKey(MSG& msg);
  // An item at the end of the window's system menu that runs action.
  void AddSystemMenuItem(const std::string& text, std::function<void()> action);

  // ---- TWidgetObserver ----
  void Changed(TControl& control, TChange what) override;
  void TimerChanged(TTimer& timer) override;

  static void RegisterClasses(HINSTANCE instance);

 private:
  static LRESULT CALLBACK ContainerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ListBoxProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT ContainerMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  void CreateChild(TControl& control);
  void Place(TControl& control);
  void PaintContainer(HWND window);
  // A window's client area as the backdrop (and, for a panel, its bevel) has it.
  void PaintBackdrop(HWND window, HDC dc);
  // Copies the pixels kept for key to dc at key.rect, drawing them first with
  // draw(canvas, width, height) when none are kept or control changed since.
  struct TPaintKey {
    HWND window;
    UINT item;   // the item, or kWholeWindow
    UINT state;  // ODS_* of the item
    RECT rect;   // where in the window
    bool operator<(const TPaintKey& o) const;
  };
  template <typename Draw>
  void PaintKept(HDC dc, const TControl& control, const TPaintKey& key, Draw draw);
  void DrawItem(const DRAWITEMSTRUCT& item);
  void MeasureItem(MEASUREITEMSTRUCT& item);
  void Command(HWND child, WORD code);
  void SizeCombo(TSmoothComboBox& combo);
  // Gives the control's window a tool with the hint as its text, the first
  // time it has one; later hints replace the text.
  void UpdateTooltip(TControl& control);
  void Report(const std::string& message);
  // Before window is disabled or hidden: the keyboard focus, if in it, goes to the form.
  void MoveFocusFrom(HWND window);
  // The window text a control shows: its caption, or for a picture its hint,
  // for a symbol button its accessible name.
  static std::string WindowText(const TControl& control);
  RECT FormRect(const TControl& control) const;

  HINSTANCE instance_;
  TForm& form_;
  std::function<void(const std::string&)> report_;
  std::unique_ptr<TPainter> painter_;
  HWND form_window_ = nullptr;
  HWND tooltip_ = nullptr;
  std::map<const TControl*, HWND> windows_;
  std::map<HWND, TControl*> controls_;
  std::map<int, TControl*> ids_;           // control ids, known before the windows exist
  std::map<const TTimer*, UINT_PTR> timerIds_;
  std::map<HWND, WNDPROC> listBoxProcs_;
  std::set<const TControl*> tools_;        // controls with a tooltip tool
  std::map<UINT, std::function<void()>> systemCommands_;
  HWND focusOnActivate_ = nullptr;         // the focus to give when the window is activated
  // The pixels of every control and item as last drawn: a repaint of
  // something unchanged is a single copy, with no drawing at all.
  struct TPainted {
    std::unique_ptr<TMemoryCanvas> canvas;
    uint32_t generation = 0;
  };
  std::map<TPaintKey, TPainted> painted_;
  TLookGenerations looks_;
  int nextId_ = 100;
  bool reporting_ = false;
};
