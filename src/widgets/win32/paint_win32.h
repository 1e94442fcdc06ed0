// Drawing the widgets with GDI+, at the screen's DPI.
//
// Every control is drawn into a memory bitmap and copied to the screen once,
// so nothing flickers. What lies beneath the controls (the form's face and its
// background pictures) is drawn once into the backdrop; a control starts its
// drawing by copying its part of the backdrop, which makes it look
// transparent without asking its parents to paint. A control with nothing of
// its own to draw (a panel without a bevel, a background picture) is that
// copy alone, made straight to the screen.
#pragma once

#include <windows.h>
// GDI+ wants min and max as functions of its own.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "widgets/widgets.h"

class TMemoryCanvas;

class TPainter {
 public:
  TPainter(HINSTANCE instance, int dpi);
  ~TPainter();
  TPainter(const TPainter&) = delete;
  TPainter& operator=(const TPainter&) = delete;

  int Dpi() const { return dpi_; }
  // 96-DPI pixels to screen pixels.
  int Scale(int v) const { return MulDiv(v, dpi_, 96); }
  RECT Scale(const TRect& r) const;

  // Draws the form's face and its background pictures (the form's own
  // picture children) into the backdrop: after the controls are placed, and
  // again when the system's colours change.
  void BuildBackdrop(TForm& form);
  // Copies the backdrop under formRect (screen pixels, form coordinates) to dc at x,y.
  void CopyBackdrop(HDC dc, const RECT& formRect, int x = 0, int y = 0) const;
  // Whether the backdrop holds this control's picture.
  bool InBackdrop(const TControl& c) const { return inBackdrop_.count(&c) != 0; }

  // The GDI font for a toolkit font at this DPI; owned by the painter.
  HFONT GdiFont(const TFont& font);

  // ---- the widgets; dc is a memory bitmap of the control's size that
  // already holds the backdrop ----
  void Panel(HDC dc, const TPanel& panel, int width, int height);
  void Image(HDC dc, const TImage& image, int width, int height, bool focused);
  void GradientText(HDC dc, const TGradientLabel& label, int width, int height);
  void PlainText(HDC dc, const TLabel& label, int width, int height);
  void GlassButton(HDC dc, const TGlassButton& button, int width, int height, bool pressed, bool focused);
  // One item of the size box: in its field (or a list row), selected or not.
  void ComboItem(HDC dc, const TSmoothComboBox& combo, int index, const RECT& rect, bool selected, bool focused);
  void ListItem(HDC dc, const TSmoothListBox& list, int index, const RECT& rect);

 private:
  Gdiplus::Bitmap* Picture(const std::string& name);
  Gdiplus::Font* GdiplusFont(HDC dc, const TFont& font);
  void DrawLabelText(Gdiplus::Graphics& g, HDC dc, const std::string& text, const TFont& font, const Gdiplus::Brush& brush,
                const Gdiplus::RectF& box, TTextPlace place, bool ellipsis);

  HINSTANCE instance_;
  int dpi_;
  std::unique_ptr<TMemoryCanvas> backdrop_;
  std::map<std::string, std::unique_ptr<Gdiplus::Bitmap>> pictures_;
  std::set<const TControl*> inBackdrop_;
  std::map<std::tuple<std::string, int, bool>, HFONT> gdiFonts_;
  std::map<std::tuple<std::string, int, bool>, std::unique_ptr<Gdiplus::Font>> fonts_;
};

// A memory bitmap the size of a control, selected into its own DC.
class TMemoryCanvas {
 public:
  TMemoryCanvas(HDC reference, int width, int height);
  ~TMemoryCanvas();
  TMemoryCanvas(const TMemoryCanvas&) = delete;
  TMemoryCanvas& operator=(const TMemoryCanvas&) = delete;
  HDC Dc() const { return dc_; }
  void CopyTo(HDC target, int x, int y) const;

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};
