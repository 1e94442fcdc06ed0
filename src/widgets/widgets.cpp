#include "widgets/widgets.h"

TControl::TControl(TKind kind, std::string name, TControl* parent)
    : Kind_(kind), Name_(std::move(name)), Parent_(parent) {
  if (!Parent_) return;
  Parent_->Children_.push_back(this);
  if (TForm* form = Form()) form->Controls_.push_back(this);
}

TForm* TControl::Form() {
  TControl* c = this;
  while (c->Parent_) c = c->Parent_;
  return c->Kind_ == TKind::Form ? static_cast<TForm*>(c) : nullptr;
}

void TControl::Notify(TChange what) {
  TForm* form = Form();
  if (form && form->Observer) form->Observer->Changed(*this, what);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  const TRect r{left, top, width, height};
  if (r == Bounds_) return;
  Bounds_ = r;
  Notify(TChange::Bounds);
  Realign();
  if (Parent_ && Align_ != TAlign::None) Parent_->Realign();
}

void TControl::SetAlign(TAlign align) {
  if (align == Align_) return;
  Align_ = align;
  if (Parent_) Parent_->Realign();
}

TRect TControl::FormBounds() const {
  TRect r = Bounds_;
  for (const TControl* p = Parent_; p && p->Parent_; p = p->Parent_) {
    r.Left += p->Bounds_.Left;
    r.Top += p->Bounds_.Top;
  }
  return r;
}

// As the classic toolkits dock: top, then bottom, left, right children take
// their strips of what is left, in the order they were made; a client child
// fills the rest.
void TControl::Realign() {
  TRect free = ClientRect();
  auto place = [](TControl* c, const TRect& r) {
    if (r == c->Bounds_) return;
    c->Bounds_ = r;
    c->Notify(TChange::Bounds);
    c->Realign();
  };
  for (TAlign pass : {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client}) {
    for (TControl* c : Children_) {
      if (c->Align_ != pass) continue;
      const TRect& b = c->Bounds_;
      switch (pass) {
        case TAlign::Top:
          place(c, {free.Left, free.Top, free.Width, b.Height});
          free.Top += b.Height;
          free.Height -= b.Height;
          break;
        case TAlign::Bottom:
          place(c, {free.Left, free.Top + free.Height - b.Height, free.Width, b.Height});
          free.Height -= b.Height;
          break;
        case TAlign::Left:
          place(c, {free.Left, free.Top, b.Width, free.Height});
          free.Left += b.Width;
          free.Width -= b.Width;
          break;
        case TAlign::Right:
          place(c, {free.Left + free.Width - b.Width, free.Top, b.Width, free.Height});
          free.Width -= b.Width;
          break;
        default:
          place(c, free);
          break;
      }
    }
  }
}

void TControl::SetVisible(bool visible) {
  if (visible == Visible_) return;
  Visible_ = visible;
  Notify(TChange::Visible);
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->Parent_)
    if (!c->Visible_) return false;
  return true;
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == Enabled_) return;
  Enabled_ = enabled;
  Notify(TChange::Enabled);
}

void TControl::SetCaption(const std::string& caption) {
  if (caption == Caption_) return;
  Caption_ = caption;
  Notify(TChange::Caption);
}

void TControl::SetHint(const std::string& hint) {
  if (hint == Hint_) return;
  Hint_ = hint;
  Notify(TChange::Hint);
}

void TControl::SetFont(const TFont& font) {
  if (font == Font_) return;
  Font_ = font;
  Notify(TChange::Look);
}

void TControl::Click() {
  if (OnClick) OnClick(*this);
}

bool TControl::KeyDown(TKey key) {
  if (!OnKeyDown) return false;
  OnKeyDown(*this, key);
  return true;
}

void TImage::SetPicture(const std::string& picture) {
  if (picture == Picture_) return;
  Picture_ = picture;
  Notify(TChange::Look);
}

void TPanel::SetBevelOuter(TBevel bevel) {
  if (bevel == Bevel_) return;
  Bevel_ = bevel;
  Notify(TChange::Look);
  Realign();
}

TRect TPanel::ClientRect() const {
  const int b = Bevel_ == TBevel::None ? 0 : kBevelWidth;
  return {b, b, Bounds().Width - 2 * b, Bounds().Height - 2 * b};
}

void TGradientLabel::SetGradient(TColor start, TColor end) {
  if (start == Start_ && end == End_) return;
  Start_ = start;
  End_ = end;
  Notify(TChange::Look);
}

void TSmoothComboBox::AddItem(const TComboItem& item) {
  Items_.push_back(item);
  Notify(TChange::Items);
}

void TSmoothComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(Items_.size()) || index == ItemIndex_) return;
  ItemIndex_ = index;
  Notify(TChange::ItemIndex);
}

void TSmoothComboBox::SetItemFontColor(int index, TColor color) {
  if (index < 0 || index >= static_cast<int>(Items_.size()) || Items_[index].FontColor == color) return;
  Items_[index].FontColor = color;
  Notify(TChange::Look);
}

void TSmoothComboBox::UserSelected(int index) {
  if (index < 0 || index >= static_cast<int>(Items_.size())) return;
  ItemIndex_ = index;  // the real control shows it already
}

TTimer::TTimer(TTimerHost& owner, std::string name, uint32_t intervalMs)
    : Owner_(owner), Name_(std::move(name)), Interval_(intervalMs) {
  Owner_.Timers_.push_back(this);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == Enabled_) return;
  Enabled_ = enabled;
  if (Owner_.Observer) Owner_.Observer->TimerChanged(*this);
}

void TTimer::Tick() {
  if (Enabled_ && OnTimer) OnTimer();
}

void TTimer::FireNow() {
  if (!Enabled_) return;
  if (Owner_.Observer) Owner_.Observer->TimerChanged(*this);
  Tick();
}

TControl* TForm::FindControl(const std::string& name) const {
  for (TControl* c : Controls_)
    if (c->Name() == name) return c;
  return nullptr;
}

void TForm::Shown() {
  if (WasShown_) return;
  WasShown_ = true;
  if (OnShow) OnShow();
}
