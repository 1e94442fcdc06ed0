#include "widgets/win32/renderer_win32.h"

#include <commctrl.h>

#include <tuple>
#include <vector>

#include "widgets/win32/gdi_scope.h"

namespace {

constexpr char kFormClass[] = "TMainForm";
constexpr char kPanelClass[] = "TOrvPanel";
constexpr UINT_PTR kFirstTimerId = 1;
// A combo box's selection field is its item height plus the border and
// margins the control adds around it.
constexpr int kComboFieldExtra = 6;
// The item of a paint key for a window's whole client area.
constexpr UINT kWholeWindow = static_cast<UINT>(-1);
// The commands added to the system menu, below the system's own (0xF000 up).
constexpr UINT kFirstSystemCommand = 0x100;

// Single fixed border, title bar with system menu and minimise box only.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

TWin32Renderer* RendererOf(HWND window) {
  return reinterpret_cast<TWin32Renderer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

bool IsClickable(const TControl& c) {
  return c.Kind() == TKind::GlassButton || (c.Kind() == TKind::Image && c.OnClick);
}

}  // namespace

void TWin32Renderer::RegisterClasses(HINSTANCE instance) {
  for (const char* name : {kFormClass, kPanelClass}) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ContainerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = name == kFormClass ? LoadIconA(instance, MAKEINTRESOURCEA(1)) : nullptr;
    wc.hbrBackground = nullptr;  // everything is painted from the backdrop
    wc.lpszClassName = name;
    RegisterClassA(&wc);
  }
}

TWin32Renderer::TWin32Renderer(HINSTANCE instance, TForm& form, std::function<void(const std::string&)> report)
    : instance_(instance), form_(form), report_(std::move(report)) {
  painter_ = std::make_unique<TPainter>(instance, GetDeviceCaps(TWindowDc(nullptr), LOGPIXELSY));

  RECT frame = {0, 0, painter_->Scale(form.ClientWidth()), painter_->Scale(form.ClientHeight())};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, WS_EX_CONTROLPARENT);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const int x = form.CenterOnScreen ? (GetSystemMetrics(SM_CXSCREEN) - width) / 2 : CW_USEDEFAULT;
  const int y = form.CenterOnScreen ? (GetSystemMetrics(SM_CYSCREEN) - height) / 2 : CW_USEDEFAULT;
  form_window_ = CreateWindowExA(WS_EX_CONTROLPARENT, kFormClass, form.Caption().c_str(), kFormStyle, x, y, width,
                                 height, nullptr, nullptr, instance, this);
  if (!form_window_) return;
  windows_[&form] = form_window_;
  controls_[form_window_] = &form;

  // Tooltips without the "&" prefix rule: a product text shows as it is.
  tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                             0, 0, form_window_, nullptr, instance, nullptr);
  SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, painter_->Scale(420));

  for (TControl* c : form.Controls()) CreateChild(*c);
  // Stacking, whatever order the system keeps siblings in: captions lie
  // beneath the controls beside them, so one whose box reaches into the size
  // box ("Partition Size:" does, by 4 px) never paints over its frame; the
  // form's pictures lie beneath everything, as the help list overlaps the
  // computer picture.
  const auto toBottom = [this](const TControl& c) {
    SetWindowPos(WindowOf(c), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  };
  for (TControl* c : form.Controls())
    if (c->Kind() == TKind::Label || c->Kind() == TKind::GradientLabel) toBottom(*c);
  for (auto it = form.Children().rbegin(); it != form.Children().rend(); ++it)
    if ((*it)->Kind() == TKind::Image && !(*it)->OnClick) toBottom(**it);

  painter_->BuildBackdrop(form);
  form.Observer = this;
  for (TTimer* t : form.Timers())
    if (t->Enabled()) TimerChanged(*t);
}

TWin32Renderer::~TWin32Renderer() {
  if (form_.Observer == this) form_.Observer = nullptr;
  if (tooltip_) DestroyWindow(tooltip_);
  if (form_window_ && IsWindow(form_window_)) DestroyWindow(form_window_);
}

HWND TWin32Renderer::WindowOf(const TControl& control) const {
  auto it = windows_.find(&control);
  return it == windows_.end() ? nullptr : it->second;
}

std::string TWin32Renderer::WindowText(const TControl& c) {
  // A picture is named by its hint's first line; the rest shows in its tooltip.
  if (c.Kind() == TKind::Image) return c.Hint().substr(0, c.Hint().find_first_of("\r\n"));
  if (c.Kind() == TKind::GlassButton && static_cast<const TGlassButton&>(c).Arrow != TArrow::None)
    return static_cast<const TGlassButton&>(c).AccessibleName;
  return c.Caption();
}

void TWin32Renderer::CreateChild(TControl& c) {
  const char* cls = nullptr;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  switch (c.Kind()) {
    case TKind::Panel:
      cls = kPanelClass;
      style |= WS_CLIPCHILDREN;
      exStyle = WS_EX_CONTROLPARENT;  // Tab walks into it
      break;
    case TKind::Image:
      cls = c.OnClick ? "BUTTON" : "STATIC";
      style |= c.OnClick ? BS_OWNERDRAW : SS_OWNERDRAW;
      break;
    case TKind::Label:
    case TKind::GradientLabel:
      cls = "STATIC";
      style |= SS_OWNERDRAW | SS_NOPREFIX;
      break;
    case TKind::GlassButton:
      cls = "BUTTON";
      style |= BS_OWNERDRAW;
      break;
    case TKind::ComboBox:
      cls = "COMBOBOX";
      style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL;
      break;
    case TKind::ListBox:
      cls = "LISTBOX";
      style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOSEL | LBS_DISABLENOSCROLL | LBS_NOINTEGRALHEIGHT |
               WS_VSCROLL | WS_BORDER;
      break;
    default:
      return;  // the rich-text box is never shown: it has no window
  }
  if (c.TabStop) style |= WS_TABSTOP;
  if (c.Visible()) style |= WS_VISIBLE;
  if (!c.Enabled()) style |= WS_DISABLED;
  HWND parent = WindowOf(*c.Parent());
  const RECT r = painter_->Scale(c.Bounds());
  const int id = nextId_++;
  ids_[id] = &c;  // WM_MEASUREITEM arrives inside CreateWindowEx
  HWND w = CreateWindowExA(exStyle, cls, WindowText(c).c_str(), style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                           c.Kind() == TKind::Panel ? this : nullptr);
  if (!w) return;
  windows_[&c] = w;
  controls_[w] = &c;
  // No control is given a font: all of them are owner-drawn, and each paint
  // picks its own. (A combo box given one measures and places itself again.)

  if (c.Kind() == TKind::ComboBox) {
    auto& combo = static_cast<TSmoothComboBox&>(c);
    for (const TComboItem& item : combo.Items()) SendMessageA(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.Caption.c_str()));
    SendMessageA(w, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
    SizeCombo(combo);
  } else if (c.Kind() == TKind::ListBox) {
    auto& list = static_cast<TSmoothListBox&>(c);
    for (const TListItem& item : list.Items) SendMessageA(w, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.Caption.c_str()));
    // Subclassed to paint its background from the backdrop and keep it
    // clean while it scrolls.
    SetPropA(w, "TOrvRenderer", this);
    listBoxProcs_[w] = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(w, GWLP_WNDPROC));
    SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListBoxProc));
  }
  UpdateTooltip(c);
}

void TWin32Renderer::UpdateTooltip(TControl& c) {
  HWND w = WindowOf(c);
  if (!tooltip_ || !w || (c.Hint().empty() && !tools_.count(&c))) return;
  const bool add = tools_.insert(&c).second;
  std::string text = c.Hint();
  TOOLINFOA ti = {};
  // The version 2 record: comctl32 5.8 refuses the larger one the headers
  // define; comctl32 6, which the manifests ask for, takes both.
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = form_window_;
  ti.uId = reinterpret_cast<UINT_PTR>(w);
  ti.lpszText = &text[0];
  SendMessageA(tooltip_, add ? TTM_ADDTOOLA : TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
}

void TWin32Renderer::SizeCombo(TSmoothComboBox& combo) {
  HWND w = WindowOf(combo);
  if (!w) return;
  const int item = painter_->Scale(combo.ItemHeight);
  SendMessageA(w, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item - kComboFieldExtra);
  SendMessageA(w, CB_SETITEMHEIGHT, 0, item);
  // The window's height holds the drop-down list too; sized so every item
  // shows without scrolling.
  const RECT r = painter_->Scale(combo.Bounds());
  SetWindowPos(w, nullptr, r.left, r.top, r.right - r.left, item + painter_->Scale(combo.DropDownHeight),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Renderer::Place(TControl& c) {
  HWND w = WindowOf(c);
  if (!w || &c == &form_) return;
  if (c.Kind() == TKind::ComboBox) return SizeCombo(static_cast<TSmoothComboBox&>(c));
  const RECT r = painter_->Scale(c.Bounds());
  SetWindowPos(w, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(w, nullptr, FALSE);
}

void TWin32Renderer::Changed(TControl& c, TChange what) {
  looks_.Changed(c, what);
  HWND w = WindowOf(c);
  if (!w) return;
  switch (what) {
    case TChange::Bounds:
      Place(c);
      break;
    case TChange::Visible:
      if (!c.Visible()) MoveFocusFrom(w);
      ShowWindow(w, c.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case TChange::Enabled:
      if (!c.Enabled()) MoveFocusFrom(w);
      EnableWindow(w, c.Enabled() ? TRUE : FALSE);
      InvalidateRect(w, nullptr, FALSE);
      break;
    case TChange::Caption:
    case TChange::Hint:
      // The text reaches the window now, not at the end of the handler: a
      // modal question may open before the handler returns.
      SetWindowTextA(w, WindowText(c).c_str());
      if (what == TChange::Hint) UpdateTooltip(c);
      InvalidateRect(w, nullptr, FALSE);
      UpdateWindow(w);
      break;
    case TChange::ItemIndex:
      SendMessageA(w, CB_SETCURSEL, static_cast<WPARAM>(static_cast<TSmoothComboBox&>(c).ItemIndex()), 0);
      InvalidateRect(w, nullptr, FALSE);
      break;
    case TChange::Items:
    case TChange::Look:
      InvalidateRect(w, nullptr, FALSE);
      UpdateWindow(w);
      break;
    case TChange::Focus:
      if (!c.Showing() || !c.Enabled()) break;
      // Before the window is shown (the show event asks for it) or while
      // another one is active, the focus waits for the activation.
      if (GetActiveWindow() == form_window_)
        ::SetFocus(w);
      else
        focusOnActivate_ = w;
      break;
  }
}

void TWin32Renderer::TimerChanged(TTimer& timer) {
  auto it = timerIds_.find(&timer);
  if (it == timerIds_.end()) it = timerIds_.emplace(&timer, kFirstTimerId + timerIds_.size()).first;
  // SetTimer again restarts the countdown; it is called only when the timer
  // is switched on, or asked to start its countdown afresh.
  if (timer.Enabled())
    SetTimer(form_window_, it->second, timer.Interval(), nullptr);
  else
    KillTimer(form_window_, it->second);
}

// The system takes the focus from a window it disables or hides and gives it
// to none, which leaves the keyboard dead until the next click (a click on
// "Create" disables it; paging to the end hides the arrow). The form takes
// it: nothing shows a focus mark that the user did not ask for, and Tab
// starts again at the first control.
void TWin32Renderer::MoveFocusFrom(HWND w) {
  HWND focus = GetFocus();
  if (focus && (focus == w || IsChild(w, focus))) SetFocus(form_window_);
}

void TWin32Renderer::Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    Report(e.what());
  } catch (...) {
    Report("");
  }
}

// The report is a modal box whose loop goes on delivering timer ticks: a
// handler failing at every tick would open a box inside the box each time.
void TWin32Renderer::Report(const std::string& message) {
  if (reporting_) return;
  reporting_ = true;
  try {
    report_(message);
  } catch (...) {
    // Nothing more can be said; the next failure may be reported again.
  }
  reporting_ = false;
}

bool TWin32Renderer::TranslateKey(MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  auto it = controls_.find(GetFocus());
  if (it == controls_.end()) return false;
  TControl* c = it->second;
  if ((msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT) && c->OnKeyDown) {
    // The keyboard is in use: the focus mark shows from now on, as Tab makes
    // it show in a dialog box (Windows hides it until then).
    SendMessageA(form_window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    const TKey key = msg.wParam == VK_LEFT ? TKey::Left : TKey::Right;
    Guarded([c, key] { c->KeyDown(key); });
    return true;
  }
  if (msg.wParam != VK_RETURN || !IsClickable(*c) || !c->Enabled()) return false;
  Guarded([c] { c->Click(); });
  return true;
}

void TWin32Renderer::AddSystemMenuItem(const std::string& text, std::function<void()> action) {
  HMENU menu = GetSystemMenu(form_window_, FALSE);
  if (!menu) return;
  // The low four bits of a system command are the system's.
  const UINT id = kFirstSystemCommand + 0x10 * static_cast<UINT>(systemCommands_.size());
  if (systemCommands_.empty()) AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, id, text.c_str());
  systemCommands_[id] = std::move(action);
}

RECT TWin32Renderer::FormRect(const TControl& c) const {
  RECT r = {};
  HWND w = WindowOf(c);
  GetClientRect(w, &r);
  MapWindowPoints(w, form_window_, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LRESULT CALLBACK TWin32Renderer::ContainerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  TWin32Renderer* renderer = RendererOf(window);
  if (!renderer) return DefWindowProcA(window, msg, wParam, lParam);
  return renderer->ContainerMessage(window, msg, wParam, lParam);
}

LRESULT TWin32Renderer::ContainerMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT
    case WM_SYSCOLORCHANGE:
      // The form's face is a system colour: the backdrop is drawn again.
      if (window == form_window_) {
        painter_->BuildBackdrop(form_);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
      }
      [[fallthrough]];
    case WM_SETTINGCHANGE:
      // Items and buttons use system colours: nothing kept may be copied again.
      looks_.ChangedAll();
      break;
    case WM_PAINT:
      PaintContainer(window);
      return 0;
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_MEASUREITEM:
      MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (lParam) Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
      return 0;
    case WM_SYSCOMMAND: {
      auto it = window == form_window_ ? systemCommands_.find(static_cast<UINT>(wParam & 0xFFF0)) : systemCommands_.end();
      if (it == systemCommands_.end()) break;
      Guarded(it->second);
      return 0;
    }
    case WM_ACTIVATE:
      if (window != form_window_) break;
      // As in a dialog box, the control that had the focus has it again
      // when the window is active again; the system would give it to the form.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        focusOnActivate_ = focus && IsChild(form_window_, focus) ? focus : nullptr;
      } else if (!HIWORD(wParam) && focusOnActivate_ && (GetWindowLongPtrA(focusOnActivate_, GWL_STYLE) & WS_VISIBLE) &&
                 IsWindowEnabled(focusOnActivate_)) {
        // Its own visibility: the form may be activated before it shows.
        ::SetFocus(focusOnActivate_);
        return 0;
      }
      break;
    case WM_TIMER:
      for (const auto& [timer, id] : timerIds_) {
        if (id != wParam) continue;
        TTimer* t = const_cast<TTimer*>(timer);
        Guarded([t] { t->Tick(); });
        break;
      }
      return 0;
    case WM_CLOSE: {
      if (window != form_window_) break;
      bool close = true;
      Guarded([this, &close] {
        if (form_.OnCloseQuery) close = form_.OnCloseQuery();
      });
      if (!close) return 0;
      Guarded([this] {
        if (form_.OnClose) form_.OnClose();
      });
      DestroyWindow(window);
      return 0;
    }
    case WM_DESTROY:
      if (window != form_window_) break;
      // Nothing may reach the windows once they are going.
      form_.Observer = nullptr;
      for (const auto& entry : timerIds_) KillTimer(window, entry.second);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

bool TWin32Renderer::TPaintKey::operator<(const TPaintKey& o) const {
  return std::tie(window, item, state, rect.left, rect.top, rect.right, rect.bottom) <
         std::tie(o.window, o.item, o.state, o.rect.left, o.rect.top, o.rect.right, o.rect.bottom);
}

template <typename Draw>
void TWin32Renderer::PaintKept(HDC dc, const TControl& control, const TPaintKey& key, Draw draw) {
  const int w = key.rect.right - key.rect.left, h = key.rect.bottom - key.rect.top;
  TPainted& kept = painted_[key];
  const uint32_t generation = looks_.Of(control);
  if (!kept.canvas || kept.generation != generation) {
    if (!kept.canvas) {
      // In the screen's format whatever dc is (a WM_PRINTCLIENT bitmap may be
      // monochrome): the pixels are copied to the screen later.
      kept.canvas = std::make_unique<TMemoryCanvas>(TWindowDc(nullptr), w, h);
    }
    // Every drawing covers the whole canvas first, so old pixels never show.
    draw(kept.canvas->Dc(), w, h);
    kept.generation = generation;
  }
  kept.canvas->CopyTo(dc, key.rect.left, key.rect.top);
}

void TWin32Renderer::PaintBackdrop(HWND window, HDC dc) {
  auto it = controls_.find(window);
  if (it == controls_.end()) return;
  const TControl& c = *it->second;
  RECT client;
  GetClientRect(window, &client);
  RECT inForm = client;
  MapWindowPoints(window, form_window_, reinterpret_cast<POINT*>(&inForm), 2);
  // Nothing drawn over the backdrop: one copy, no canvas kept for it.
  if (c.Kind() != TKind::Panel || static_cast<const TPanel&>(c).BevelOuter() == TBevel::None) {
    painter_->CopyBackdrop(dc, inForm);
    return;
  }
  PaintKept(dc, c, {window, kWholeWindow, 0, client}, [&](HDC canvas, int w, int h) {
    painter_->CopyBackdrop(canvas, inForm);
    painter_->Panel(canvas, static_cast<const TPanel&>(c), w, h);
  });
}

void TWin32Renderer::PaintContainer(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  PaintBackdrop(window, dc);
  EndPaint(window, &ps);
}

void TWin32Renderer::MeasureItem(MEASUREITEMSTRUCT& item) {
  auto it = ids_.find(static_cast<int>(item.CtlID));
  if (it == ids_.end()) return;
  if (it->second->Kind() == TKind::ComboBox) {
    const int h = painter_->Scale(static_cast<TSmoothComboBox*>(it->second)->ItemHeight);
    item.itemHeight = static_cast<UINT>(item.itemID == static_cast<UINT>(-1) ? h - kComboFieldExtra : h);
  } else if (it->second->Kind() == TKind::ListBox) {
    item.itemHeight = static_cast<UINT>(painter_->Scale(static_cast<TSmoothListBox*>(it->second)->ItemHeight));
  }
}

void TWin32Renderer::DrawItem(const DRAWITEMSTRUCT& item) {
  auto it = controls_.find(item.hwndItem);
  if (it == controls_.end()) return;
  TControl& c = *it->second;
  const bool focused = (item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT);
  // A picture of the backdrop is there already: one copy, no canvas kept.
  if (painter_->InBackdrop(c) && !focused) {
    RECT inForm = item.rcItem;
    MapWindowPoints(item.hwndItem, form_window_, reinterpret_cast<POINT*>(&inForm), 2);
    painter_->CopyBackdrop(item.hDC, inForm, item.rcItem.left, item.rcItem.top);
    return;
  }
  PaintKept(item.hDC, c, {item.hwndItem, item.itemID, item.itemState, item.rcItem}, [&](HDC canvas, int w, int h) {
    switch (c.Kind()) {
      case TKind::ComboBox: {
        const RECT local = {0, 0, w, h};
        const bool inField = (item.itemState & ODS_COMBOBOXEDIT) != 0;
        painter_->ComboItem(canvas, static_cast<TSmoothComboBox&>(c), static_cast<int>(item.itemID), local,
                            !inField && (item.itemState & ODS_SELECTED), inField && focused);
        break;
      }
      case TKind::ListBox: {
        RECT inForm = item.rcItem;
        MapWindowPoints(item.hwndItem, form_window_, reinterpret_cast<POINT*>(&inForm), 2);
        painter_->CopyBackdrop(canvas, inForm);
        painter_->ListItem(canvas, static_cast<TSmoothListBox&>(c), static_cast<int>(item.itemID), {0, 0, w, h});
        break;
      }
      default: {
        painter_->CopyBackdrop(canvas, FormRect(c));
        if (c.Kind() == TKind::Image)
          painter_->Image(canvas, static_cast<TImage&>(c), w, h, focused);
        else if (c.Kind() == TKind::GradientLabel)
          painter_->GradientText(canvas, static_cast<TGradientLabel&>(c), w, h);
        else if (c.Kind() == TKind::Label)
          painter_->PlainText(canvas, static_cast<TLabel&>(c), w, h);
        else if (c.Kind() == TKind::GlassButton)
          painter_->GlassButton(canvas, static_cast<TGlassButton&>(c), w, h, (item.itemState & ODS_SELECTED) != 0,
                                focused);
        break;
      }
    }
  });
}

void TWin32Renderer::Command(HWND child, WORD code) {
  auto it = controls_.find(child);
  if (it == controls_.end()) return;
  TControl* c = it->second;
  if (c->Kind() == TKind::ComboBox && code == CBN_SELCHANGE) {
    const int index = static_cast<int>(SendMessageA(child, CB_GETCURSEL, 0, 0));
    Guarded([c, index] { static_cast<TSmoothComboBox*>(c)->UserSelected(index); });
  } else if (IsClickable(*c) && (code == BN_CLICKED || code == BN_DOUBLECLICKED)) {
    // An owner-drawn button reports the second click of a double click as
    // BN_DOUBLECLICKED alone: two quick clicks on an arrow move two disks.
    Guarded([c] { c->Click(); });
  }
}

LRESULT CALLBACK TWin32Renderer::ListBoxProc(HWND list, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* renderer = static_cast<TWin32Renderer*>(GetPropA(list, "TOrvRenderer"));
  if (!renderer) return DefWindowProcA(list, msg, wParam, lParam);
  const WNDPROC original = renderer->listBoxProcs_[list];
  switch (msg) {
    case WM_ERASEBKGND:
      renderer->PaintBackdrop(list, reinterpret_cast<HDC>(wParam));
      return 1;
    case WM_NCPAINT: {
      // The border in the help text's gray rather than black.
      const LRESULT result = CallWindowProcA(original, list, msg, wParam, lParam);
      RECT r;
      GetWindowRect(list, &r);
      OffsetRect(&r, -r.left, -r.top);
      FrameRect(TWindowDc(list, true), &r, TGdiObject<HBRUSH>(CreateSolidBrush(RGB(128, 128, 128))));
      return result;
    }
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
    case WM_KEYDOWN: {
      // Scrolling moves painted pixels; the transparent items must be drawn again.
      const LRESULT result = CallWindowProcA(original, list, msg, wParam, lParam);
      InvalidateRect(list, nullptr, TRUE);
      return result;
    }
    case WM_NCDESTROY:
      RemovePropA(list, "TOrvRenderer");
      break;
    default:
      break;
  }
  return CallWindowProcA(original, list, msg, wParam, lParam);
}
