// Which kept pixels a change makes stale: a renderer copies a control's
// pixels again only while its look generation stands still, so a change that
// fails to move it shows an old picture, and one that moves too much costs
// a drawing.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "widgets/look_generations.h"

namespace {

// A form with a panel holding a picture and a caption, a button beside it,
// and a renderer's bookkeeping following every change as the renderer does.
struct Window : TWidgetObserver {
  TForm form{"Form"};
  TPanel panel{"Panel", &form};
  TImage picture{"Picture", &panel};
  TGradientLabel caption{"Caption", &panel};
  TGlassButton button{"Button", &form};
  TSmoothComboBox combo{"Combo", &form};
  TLookGenerations looks;

  Window() {
    form.SetClientSize(300, 200);
    panel.SetBounds(10, 10, 140, 180);
    picture.SetBounds(0, 0, 140, 150);
    picture.SetAlign(TAlign::Client);
    caption.SetBounds(0, 0, 140, 30);
    caption.SetAlign(TAlign::Bottom);
    button.SetBounds(200, 10, 80, 30);
    combo.AddItem({"2 GB", 2048, clBlack});
    combo.AddItem({"4 GB", 4096, clBlack});
    form.Observer = this;
  }
  void Changed(TControl& c, TChange what) override { looks.Changed(c, what); }
  void TimerChanged(TTimer&) override {}

  std::vector<TControl*> All() { return {&form, &panel, &picture, &caption, &button, &combo}; }
  std::map<std::string, uint32_t> Generations() {
    std::map<std::string, uint32_t> out;
    for (TControl* c : All()) out[c->Name()] = looks.Of(*c);
    return out;
  }
  // The names of the controls whose generation moved during change.
  template <typename Change>
  std::string Moved(Change change) {
    const auto before = Generations();
    change();
    const auto after = Generations();
    std::string moved;
    for (TControl* c : All())
      if (after.at(c->Name()) != before.at(c->Name())) moved += (moved.empty() ? "" : " ") + c->Name();
    return moved;
  }
};

TEST(LookGenerations, EachChangeMovesExactlyTheControlsWhosePixelsItAlters) {
  const struct {
    const char* name;
    void (*change)(Window&);
    const char* moved;
  } cases[] = {
      {"caption text", [](Window& w) { w.caption.SetCaption("Disk1"); }, "Caption"},
      {"caption gradient", [](Window& w) { w.caption.SetGradient(clGray, clBlack); }, "Caption"},
      {"button disabled", [](Window& w) { w.button.SetEnabled(false); }, "Button"},
      {"button font", [](Window& w) { w.button.SetFont(TFont{"Tahoma", 12, clRed, true}); }, "Button"},
      // A hint is the tooltip's text, never drawn.
      {"picture hint", [](Window& w) { w.picture.SetHint("Disk 1"); }, ""},
      {"picture changed", [](Window& w) { w.picture.SetPicture("SSD"); }, "Picture"},
      // The focus mark is drawn with the item's state, which keys the kept pixels.
      {"focus asked for", [](Window& w) { w.button.SetFocus(); }, ""},
      {"combo item colour", [](Window& w) { w.combo.SetItemFontColor(1, clRed); }, "Combo"},
      {"combo selection", [](Window& w) { w.combo.SetItemIndex(1); }, "Combo"},
      // Shown again, a control looks as it did: what changed meanwhile moved it.
      {"caption hidden", [](Window& w) { w.caption.SetVisible(false); }, ""},
      {"caption hidden and changed",
       [](Window& w) {
         w.caption.SetVisible(false);
         w.caption.SetCaption("Disk2");
         w.caption.SetVisible(true);
       },
       "Caption"},
      // Children move with the panel: other backdrop lies beneath them.
      {"panel moved", [](Window& w) { w.panel.SetBounds(20, 10, 140, 180); }, "Panel Picture Caption"},
      // The raised bevel insets the docked picture and caption.
      {"panel bevel", [](Window& w) { w.panel.SetBevelOuter(TBevel::Raised); }, "Panel Picture Caption"},
      {"button moved", [](Window& w) { w.button.SetBounds(200, 50, 80, 30); }, "Button"},
      // Setting what is already there is no change.
      {"same caption", [](Window& w) { w.caption.SetCaption(""); }, ""},
      {"same bounds", [](Window& w) { w.button.SetBounds(200, 10, 80, 30); }, ""},
  };
  for (const auto& c : cases) {
    Window w;
    EXPECT_EQ(w.Moved([&] { c.change(w); }), c.moved) << c.name;
  }
}

TEST(LookGenerations, ChangedAllMakesEveryKeptLookStale) {
  Window w;
  w.caption.SetCaption("Disk0");
  EXPECT_EQ(w.Moved([&] { w.looks.ChangedAll(); }), "Form Panel Picture Caption Button Combo");
}

// A generation never comes back to a value pixels may have been kept with.
TEST(LookGenerations, NeverReturnsToAnEarlierValue) {
  Window w;
  std::vector<uint32_t> seen = {w.looks.Of(w.picture)};
  for (int i = 0; i < 4; ++i) {
    w.panel.SetBevelOuter(i % 2 ? TBevel::None : TBevel::Raised);
    seen.push_back(w.looks.Of(w.picture));
    w.looks.ChangedAll();
    seen.push_back(w.looks.Of(w.picture));
  }
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]) << i;
}

}  // namespace
