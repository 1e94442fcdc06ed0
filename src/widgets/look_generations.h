// Which drawn looks of a form's controls are still good.
//
// A renderer may keep a control's pixels and copy them again on the next paint
// instead of drawing it anew. Each control's look has a generation that every
// change able to alter its pixels moves on; pixels kept with an older
// generation are stale. What lies beneath a control (the form's backdrop) is
// fixed for the form's life, so a change reaches only the changed control, or
// for a move also everything inside it, which moves with it.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "widgets/widgets.h"

class TLookGenerations {
 public:
  uint32_t Of(const TControl& control) const;
  void Changed(const TControl& control, TChange what);
  // Everything is stale: the system's colours or settings changed.
  void ChangedAll() { ++all_; }

 private:
  void Bump(const TControl& control);

  std::unordered_map<const TControl*, uint32_t> own_;
  uint32_t all_ = 0;
};
