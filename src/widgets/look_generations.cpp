#include "widgets/look_generations.h"

uint32_t TLookGenerations::Of(const TControl& control) const {
  auto it = own_.find(&control);
  return all_ + (it == own_.end() ? 0 : it->second);
}

void TLookGenerations::Bump(const TControl& control) {
  ++own_[&control];
  // Children lie at places relative to their parent: a move of the parent
  // puts another part of the backdrop beneath them.
  for (const TControl* child : control.Children()) Bump(*child);
}

void TLookGenerations::Changed(const TControl& control, TChange what) {
  switch (what) {
    case TChange::Bounds:
      Bump(control);
      break;
    case TChange::Visible:
    case TChange::Hint:
    case TChange::Focus:
      // None is drawn: the focus mark comes with the item's state, a hint
      // shows in its tooltip only, and a control shown again looks as its
      // other properties say, each of which is reported while it is hidden
      // too. The strip hides and shows its tiles on every refill.
      break;
    default:
      // The control's text, state or look.
      ++own_[&control];
      break;
  }
}
