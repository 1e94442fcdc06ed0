// The widget toolkit's portable objects: plain properties and events that the
// window code sets and handles. A renderer (widgets/win32) binds them to real
// windows and learns of every change as it happens, through the form's
// observer; native tests read the properties directly.
//
// Places and sizes are in pixels at 96 DPI, relative to the parent's client
// area; a renderer scales them. Docked controls (Align) are laid out by the
// toolkit, so the places a renderer reads are final.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// 0x00RRGGBB, or a system colour: kSystemColor | the GetSysColor index.
using TColor = uint32_t;
constexpr TColor kSystemColor = 0x80000000u;
constexpr TColor Rgb(uint8_t r, uint8_t g, uint8_t b) { return (TColor(r) << 16) | (TColor(g) << 8) | b; }
constexpr TColor clBlack = Rgb(0, 0, 0);
constexpr TColor clWhite = Rgb(255, 255, 255);
constexpr TColor clGray = Rgb(128, 128, 128);
constexpr TColor clMedGray = Rgb(160, 160, 164);
constexpr TColor clSilver = Rgb(192, 192, 192);
constexpr TColor clRed = Rgb(255, 0, 0);
constexpr TColor clBlue = Rgb(0, 0, 255);
constexpr TColor clWindowText = kSystemColor | 8;  // COLOR_WINDOWTEXT
constexpr TColor clBtnFace = kSystemColor | 15;    // COLOR_BTNFACE

struct TFont {
  std::string Name = "Tahoma";
  int SizePt = 8;
  TColor Color = clWindowText;
  bool Bold = false;
  bool operator==(const TFont& o) const {
    return Name == o.Name && SizePt == o.SizePt && Color == o.Color && Bold == o.Bold;
  }
};

struct TRect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TRect& o) const {
    return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height;
  }
};

enum class TAlign { None, Top, Bottom, Left, Right, Client };
enum class TBevel { None, Raised };
enum class TArrow { None, Left, Right };
// Where a label draws its caption.
enum class TTextPlace { Center, BottomLeft, Left };
enum class TKind { Form, Panel, Image, Label, GradientLabel, GlassButton, ComboBox, ListBox, RichEdit };
// What changed, for a renderer; Focus: the control asks for the keyboard focus.
enum class TChange { Bounds, Visible, Enabled, Caption, Hint, Look, Items, ItemIndex, Focus };
// Keys a renderer hands to the portable code; Tab and Enter it handles itself.
enum class TKey { Left, Right };

class TControl;
class TForm;
class TTimer;

class TWidgetObserver {
 public:
  virtual ~TWidgetObserver() = default;
  virtual void Changed(TControl& control, TChange what) = 0;
  // Enabled changed, or the countdown was restarted (TTimer::FireNow).
  virtual void TimerChanged(TTimer& timer) = 0;
};

class TControl {
 public:
  TControl(TKind kind, std::string name, TControl* parent);
  virtual ~TControl() = default;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  TKind Kind() const { return Kind_; }
  const std::string& Name() const { return Name_; }
  TControl* Parent() const { return Parent_; }
  const std::vector<TControl*>& Children() const { return Children_; }
  TForm* Form();

  // The place as set; docking may change it (Bounds holds the result).
  void SetBounds(int left, int top, int width, int height);
  void SetAlign(TAlign align);
  TAlign Align() const { return Align_; }
  const TRect& Bounds() const { return Bounds_; }
  // The place in the form's client area.
  TRect FormBounds() const;
  // Where docked children go: the control's area less its bevel.
  virtual TRect ClientRect() const { return {0, 0, Bounds_.Width, Bounds_.Height}; }

  bool Visible() const { return Visible_; }
  void SetVisible(bool visible);
  // Visible, and every parent too.
  bool Showing() const;
  bool Enabled() const { return Enabled_; }
  void SetEnabled(bool enabled);
  int Tag() const { return Tag_; }
  void SetTag(int tag) { Tag_ = tag; }
  const std::string& Caption() const { return Caption_; }
  void SetCaption(const std::string& caption);
  const std::string& Hint() const { return Hint_; }
  void SetHint(const std::string& hint);
  const TFont& Font() const { return Font_; }
  void SetFont(const TFont& font);
  // Reached by the keyboard's Tab key.
  bool TabStop = false;

  // The click event; the sender is the clicked control.
  std::function<void(TControl& sender)> OnClick;
  // What a renderer calls on a click, or a key that acts as one.
  void Click();
  // A key pressed while the control (for the form: the form itself) has the
  // keyboard focus.
  std::function<void(TControl& sender, TKey key)> OnKeyDown;
  // What a renderer calls on such a key; false when no handler takes it.
  bool KeyDown(TKey key);
  // Asks for the keyboard focus; a renderer gives it when the control is
  // shown and enabled, at once or when its window is next activated.
  void SetFocus() { Notify(TChange::Focus); }

 protected:
  void Notify(TChange what);
  // Lays out the docked children within ClientRect, and theirs.
  void Realign();

 private:
  TKind Kind_;
  std::string Name_;
  TControl* Parent_;
  std::vector<TControl*> Children_;
  TAlign Align_ = TAlign::None;
  TRect Bounds_;
  bool Visible_ = true;
  bool Enabled_ = true;
  int Tag_ = 0;
  std::string Caption_;
  std::string Hint_;
  TFont Font_;
};

class TPanel : public TControl {
 public:
  static constexpr int kBevelWidth = 2;
  TPanel(std::string name, TControl* parent) : TControl(TKind::Panel, std::move(name), parent) {}
  TBevel BevelOuter() const { return Bevel_; }
  // A raised bevel narrows the area the docked children fill.
  void SetBevelOuter(TBevel bevel);
  TRect ClientRect() const override;

 private:
  TBevel Bevel_ = TBevel::None;
};

// Shows a stored picture, centred, transparent where the picture is.
class TImage : public TControl {
 public:
  TImage(std::string name, TControl* parent) : TControl(TKind::Image, std::move(name), parent) {}
  // The resource name without its scale suffix: "DISK", "COMPUTER".
  const std::string& Picture() const { return Picture_; }
  void SetPicture(const std::string& picture);

 private:
  std::string Picture_;
};

class TLabel : public TControl {
 public:
  TLabel(std::string name, TControl* parent) : TControl(TKind::Label, std::move(name), parent) {}
  TTextPlace TextPlace = TTextPlace::Left;
};

// A label whose caption is painted with a two-colour gradient.
class TGradientLabel : public TControl {
 public:
  TGradientLabel(std::string name, TControl* parent) : TControl(TKind::GradientLabel, std::move(name), parent) {}
  TColor ColorStart() const { return Start_; }
  TColor ColorEnd() const { return End_; }
  void SetGradient(TColor start, TColor end);
  TTextPlace TextPlace = TTextPlace::Center;

 private:
  TColor Start_ = clBlack;
  TColor End_ = clBlack;
};

class TGlassButton : public TControl {
 public:
  TGlassButton(std::string name, TControl* parent) : TControl(TKind::GlassButton, std::move(name), parent) {
    TabStop = true;
  }
  TArrow Arrow = TArrow::None;  // an arrow symbol instead of the caption
  int CornerRadius = 5;
  TColor Color = clSilver;
  TColor SymbolColor = clBlack;
  // What a screen reader names the button by when it shows a symbol.
  std::string AccessibleName;
};

struct TComboItem {
  std::string Caption;
  int Tag = 0;
  TColor FontColor = clBlack;
};

class TSmoothComboBox : public TControl {
 public:
  TSmoothComboBox(std::string name, TControl* parent) : TControl(TKind::ComboBox, std::move(name), parent) {
    TabStop = true;
  }
  const std::vector<TComboItem>& Items() const { return Items_; }
  void AddItem(const TComboItem& item);
  int ItemIndex() const { return ItemIndex_; }
  // -1 selects nothing; other values outside the items are ignored.
  void SetItemIndex(int index);
  void SetItemFontColor(int index, TColor color);
  // What a renderer calls when the user picks an item.
  void UserSelected(int index);
  int ItemHeight = 25;
  int DropDownWidth = 60;
  int DropDownHeight = 75;
  int ButtonWidth = 22;

 private:
  std::vector<TComboItem> Items_;
  int ItemIndex_ = -1;
};

struct TListItem {
  std::string Caption;
  TFont Font;
};

class TSmoothListBox : public TControl {
 public:
  TSmoothListBox(std::string name, TControl* parent) : TControl(TKind::ListBox, std::move(name), parent) {}
  std::vector<TListItem> Items;  // fixed once the window is built
  int ItemHeight = 14;
  TColor BorderColor = clGray;
};

// A rich-text box; the program keeps text in it and never shows it.
class TRichEdit : public TControl {
 public:
  TRichEdit(std::string name, TControl* parent) : TControl(TKind::RichEdit, std::move(name), parent) {}
  std::string Text;
};

// What owns timers and is told when one changes: a form, whose renderer
// runs them, or, without a window, a bare host the unattended loop runs.
class TTimerHost {
 public:
  TTimerHost() = default;
  TTimerHost(const TTimerHost&) = delete;
  TTimerHost& operator=(const TTimerHost&) = delete;

  // In creation order.
  const std::vector<TTimer*>& Timers() const { return Timers_; }
  // For a form, also told of every change to its controls.
  TWidgetObserver* Observer = nullptr;

 private:
  friend class TTimer;
  std::vector<TTimer*> Timers_;
};

class TTimer {
 public:
  TTimer(TTimerHost& owner, std::string name, uint32_t intervalMs = 1000);
  const std::string& Name() const { return Name_; }
  bool Enabled() const { return Enabled_; }
  void SetEnabled(bool enabled);
  uint32_t Interval() const { return Interval_; }
  std::function<void()> OnTimer;
  // One tick, as the renderer (or a test's clock) delivers it; nothing
  // while disabled.
  void Tick();
  // Ticks now and starts the countdown to the next tick afresh.
  void FireNow();

 private:
  TTimerHost& Owner_;
  std::string Name_;
  uint32_t Interval_;
  bool Enabled_ = false;
};

enum class TBorderStyle { Single };  // single fixed border, not resizable

class TForm : public TControl, public TTimerHost {
 public:
  explicit TForm(std::string name) : TControl(TKind::Form, std::move(name), nullptr) {}

  void SetClientSize(int width, int height) { SetBounds(0, 0, width, height); }
  int ClientWidth() const { return Bounds().Width; }
  int ClientHeight() const { return Bounds().Height; }
  TBorderStyle BorderStyle = TBorderStyle::Single;
  bool MinimizeBox = true;
  bool MaximizeBox = false;
  bool CenterOnScreen = true;
  TColor Color = clBtnFace;

  // Every control of the form, parents before children, in creation order.
  const std::vector<TControl*>& Controls() const { return Controls_; }
  TControl* FindControl(const std::string& name) const;

  // Events the renderer raises on the GUI thread.
  std::function<void()> OnCreate;
  std::function<void()> OnShow;
  // Asked before the window closes at the user's request; false keeps it
  // open. Windows shutting down closes it without asking (no WM_CLOSE comes
  // then), so nothing here can block a shutdown.
  std::function<bool()> OnCloseQuery;
  std::function<void()> OnClose;
  std::function<void()> OnDestroy;
  // Raises OnShow the first time only.
  void Shown();

 private:
  friend class TControl;
  std::vector<TControl*> Controls_;
  bool WasShown_ = false;
};
