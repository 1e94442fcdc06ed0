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
  if (what == TChange::Bounds) {
    Bump(control);
    return;
  }
  // Any other change is the control's own: its text, state or look.
  ++own_[&control];
}
