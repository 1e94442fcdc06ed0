#include "widgets/win32/paint_win32.h"

#include <objidl.h>

#include <vector>

#include "widgets/win32/gdi_scope.h"

using namespace Gdiplus;

// Where the Gdiplus wrapper keeps StringFormat::GenericTypographic() once
// made. mingw's plain GDI+ import library defines it; GDI+ is delay-loaded
// here (cmake/windows.cmake), so it is defined with the code that uses it.
void* _GdipStringFormatCachedGenericTypographic = nullptr;

namespace {

COLORREF Ref(TColor c) {
  if (c & kSystemColor) return GetSysColor(static_cast<int>(c & 0xFF));
  return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

Color Argb(TColor c, BYTE alpha = 255) {
  const COLORREF r = Ref(c);
  return Color(alpha, GetRValue(r), GetGValue(r), GetBValue(r));
}

// c moved towards white (amount > 0) or black (amount < 0), amount in -1..1.
Color Shade(TColor c, float amount, BYTE alpha = 255) {
  const COLORREF r = Ref(c);
  auto mix = [amount](int v) {
    const float target = amount > 0 ? 255.0f : 0.0f;
    const float a = amount > 0 ? amount : -amount;
    return static_cast<BYTE>(v + (target - v) * a);
  };
  return Color(alpha, mix(GetRValue(r)), mix(GetGValue(r)), mix(GetBValue(r)));
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &w[0], n);
  return w;
}

void RoundedRect(GraphicsPath& path, const RectF& r, float radius) {
  const float d = radius * 2;
  if (d <= 0) {
    path.AddRectangle(r);
    return;
  }
  path.AddArc(r.X, r.Y, d, d, 180, 90);
  path.AddArc(r.X + r.Width - d, r.Y, d, d, 270, 90);
  path.AddArc(r.X + r.Width - d, r.Y + r.Height - d, d, d, 0, 90);
  path.AddArc(r.X, r.Y + r.Height - d, d, d, 90, 90);
  path.CloseFigure();
}

void Prepare(Graphics& g) {
  g.SetSmoothingMode(SmoothingModeAntiAlias);
  g.SetPixelOffsetMode(PixelOffsetModeHalf);
  g.SetTextRenderingHint(TextRenderingHintAntiAliasGridFit);
}

}  // namespace

TMemoryCanvas::TMemoryCanvas(HDC reference, int width, int height)
    : width_(width), height_(height), dc_(CreateCompatibleDC(reference)),
      bitmap_(CreateCompatibleBitmap(reference, width > 0 ? width : 1, height > 0 ? height : 1)),
      old_(SelectObject(dc_, bitmap_)) {}

TMemoryCanvas::~TMemoryCanvas() {
  SelectObject(dc_, old_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
}

void TMemoryCanvas::CopyTo(HDC target, int x, int y) const { BitBlt(target, x, y, width_, height_, dc_, 0, 0, SRCCOPY); }

TPainter::TPainter(HINSTANCE instance, int dpi) : instance_(instance), dpi_(dpi) {}

TPainter::~TPainter() {
  pictures_.clear();
  fonts_.clear();
  for (auto& entry : gdiFonts_) DeleteObject(entry.second);
}

RECT TPainter::Scale(const TRect& r) const {
  return {Scale(r.Left), Scale(r.Top), Scale(r.Left + r.Width), Scale(r.Top + r.Height)};
}

// The picture at the scale nearest above the screen's, decoded once and
// converted to the 32-bit format GDI+ copies straight to a DC: premultiplied
// ARGB with transparency, plain RGB without (drawing an opaque picture
// through premultiplied ARGB costs three times as much).
Bitmap* TPainter::Picture(const std::string& name) {
  auto cached = pictures_.find(name);
  if (cached != pictures_.end()) return cached->second.get();
  const char* scale = dpi_ <= 96 ? "_100" : dpi_ <= 144 ? "_150" : "_200";
  Bitmap* result = nullptr;
  HRSRC res = FindResourceA(instance_, (name + scale).c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
  HGLOBAL data = res ? LoadResource(instance_, res) : nullptr;
  const void* bytes = data ? LockResource(data) : nullptr;
  const DWORD size = res ? SizeofResource(instance_, res) : 0;
  // Decoded from a copy in global memory: CreateStreamOnHGlobal exists on
  // every Windows the program runs on.
  HGLOBAL copy = bytes ? GlobalAlloc(GMEM_MOVEABLE, size) : nullptr;
  if (copy) {
    void* target = GlobalLock(copy);
    memcpy(target, bytes, size);
    GlobalUnlock(copy);
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(copy, TRUE, &stream) == S_OK) {
      Bitmap decoded(stream);
      if (decoded.GetLastStatus() == Ok) {
        const PixelFormat format =
            (decoded.GetPixelFormat() & PixelFormatAlpha) ? PixelFormat32bppPARGB : PixelFormat32bppRGB;
        result = decoded.Clone(0, 0, static_cast<INT>(decoded.GetWidth()), static_cast<INT>(decoded.GetHeight()), format);
        if (result && result->GetLastStatus() != Ok) {
          delete result;
          result = nullptr;
        }
      }
      stream->Release();
    } else {
      GlobalFree(copy);
    }
  }
  pictures_[name].reset(result);
  return result;
}

void TPainter::BuildBackdrop(TForm& form) {
  const int w = Scale(form.ClientWidth()), h = Scale(form.ClientHeight());
  if (!backdrop_) backdrop_ = std::make_unique<TMemoryCanvas>(TWindowDc(nullptr), w, h);
  const HDC backdropDc = backdrop_->Dc();
  inBackdrop_.clear();
  const TGdiObject<HBRUSH> face(CreateSolidBrush(Ref(form.Color)));
  RECT all = {0, 0, w, h};
  FillRect(backdropDc, &all, face);
  Graphics g(backdropDc);
  g.SetInterpolationMode(InterpolationModeHighQualityBicubic);
  g.SetPixelOffsetMode(PixelOffsetModeHalf);
  for (TControl* c : form.Children()) {
    if (c->Kind() != TKind::Image || !c->Visible()) continue;
    Bitmap* picture = Picture(static_cast<TImage*>(c)->Picture());
    if (!picture) continue;
    const RECT r = Scale(c->Bounds());
    g.DrawImage(picture, Rect(r.left, r.top, r.right - r.left, r.bottom - r.top));
    inBackdrop_.insert(c);
  }
}

void TPainter::CopyBackdrop(HDC dc, const RECT& formRect, int x, int y) const {
  if (!backdrop_) return;  // not built yet: nothing to copy
  BitBlt(dc, x, y, formRect.right - formRect.left, formRect.bottom - formRect.top, backdrop_->Dc(), formRect.left,
         formRect.top, SRCCOPY);
}

HFONT TPainter::GdiFont(const TFont& font) {
  const auto key = std::make_tuple(font.Name, font.SizePt, font.Bold);
  auto it = gdiFonts_.find(key);
  if (it != gdiFonts_.end()) return it->second;
  // Made from a GDI font: GDI falls back to another face where Tahoma is
  // missing, as Windows does, where GDI+ would draw nothing.
  HFONT f = CreateFontA(-MulDiv(font.SizePt, dpi_, 72), 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, font.Name.c_str());
  gdiFonts_[key] = f;
  return f;
}

Font* TPainter::GdiplusFont(HDC dc, const TFont& font) {
  const auto key = std::make_tuple(font.Name, font.SizePt, font.Bold);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second.get();
  auto made = std::make_unique<Font>(dc, GdiFont(font));
  Font* result = made.get();
  fonts_[key] = std::move(made);
  return result;
}

void TPainter::DrawLabelText(Graphics& g, HDC dc, const std::string& text, const TFont& font, const Brush& brush,
                             const RectF& box, TTextPlace place, bool ellipsis) {
  // Typographic measuring keeps GDI+ text as narrow as the GDI text the
  // window's places were made for.
  StringFormat format(StringFormat::GenericTypographic());
  format.SetFormatFlags(StringFormatFlagsNoWrap | StringFormatFlagsMeasureTrailingSpaces);
  format.SetHotkeyPrefix(HotkeyPrefixNone);  // an "&" in a product text is shown as it is
  format.SetTrimming(ellipsis ? StringTrimmingEllipsisCharacter : StringTrimmingNone);
  format.SetAlignment(place == TTextPlace::Center ? StringAlignmentCenter : StringAlignmentNear);
  format.SetLineAlignment(place == TTextPlace::BottomLeft ? StringAlignmentFar : StringAlignmentCenter);
  const std::wstring w = Wide(text);
  g.DrawString(w.c_str(), static_cast<INT>(w.size()), GdiplusFont(dc, font), box, &format, &brush);
}

void TPainter::Panel(HDC dc, const TPanel& panel, int width, int height) {
  if (panel.BevelOuter() != TBevel::Raised) return;
  // Two lines each side, lit from the top left; line k covers Scale(k) to
  // Scale(k + 1), so together they fill exactly the inset of the picture inside.
  static_assert(TPanel::kBevelWidth == 2, "one colour pair per bevel line");
  const struct {
    COLORREF light, dark;
  } lines[] = {{RGB(255, 255, 255), RGB(112, 112, 112)}, {RGB(236, 236, 236), RGB(160, 160, 164)}};
  for (int k = 0; k < TPanel::kBevelWidth; ++k) {
    const int a = Scale(k), b = Scale(k + 1);
    const TGdiObject<HBRUSH> light(CreateSolidBrush(lines[k].light)), dark(CreateSolidBrush(lines[k].dark));
    RECT top = {a, a, width - a, b}, left = {a, a, b, height - a};
    RECT bottom = {a, height - b, width - a, height - a}, right = {width - b, a, width - a, height - a};
    FillRect(dc, &top, light);
    FillRect(dc, &left, light);
    FillRect(dc, &bottom, dark);
    FillRect(dc, &right, dark);
  }
}

void TPainter::Image(HDC dc, const TImage& image, int width, int height, bool focused) {
  Bitmap* picture = Picture(image.Picture());
  if (picture) {
    // The picture keeps its own size at this DPI, centred.
    const int pw = Scale(static_cast<int>(picture->GetWidth()) * 96 / (dpi_ <= 96 ? 96 : dpi_ <= 144 ? 144 : 192));
    const int ph = Scale(static_cast<int>(picture->GetHeight()) * 96 / (dpi_ <= 96 ? 96 : dpi_ <= 144 ? 144 : 192));
    Graphics g(dc);
    g.SetInterpolationMode(InterpolationModeHighQualityBicubic);
    g.SetPixelOffsetMode(PixelOffsetModeHalf);
    g.DrawImage(picture, Rect((width - pw) / 2, (height - ph) / 2, pw, ph));
  }
  if (focused) {
    RECT r = {Scale(3), Scale(3), width - Scale(3), height - Scale(3)};
    DrawFocusRect(dc, &r);
  }
}

void TPainter::GradientText(HDC dc, const TGradientLabel& label, int width, int height) {
  if (label.Caption().empty()) return;
  Graphics g(dc);
  Prepare(g);
  const RectF box(0, 0, static_cast<REAL>(width), static_cast<REAL>(height));
  // The gradient runs across the text itself, not across the whole label.
  RectF extent;
  const std::wstring w = Wide(label.Caption());
  g.MeasureString(w.c_str(), static_cast<INT>(w.size()), GdiplusFont(dc, label.Font()), PointF(0, 0),
                  StringFormat::GenericTypographic(), &extent);
  REAL left = box.X;
  const REAL textWidth = std::min(extent.Width, box.Width);
  if (label.TextPlace == TTextPlace::Center) left = box.X + (box.Width - textWidth) / 2;
  LinearGradientBrush brush(PointF(left - 1, 0), PointF(left + textWidth + 1, 0), Argb(label.ColorStart()),
                            Argb(label.ColorEnd()));
  DrawLabelText(g, dc, label.Caption(), label.Font(), brush, box, label.TextPlace, true);
}

void TPainter::PlainText(HDC dc, const TLabel& label, int width, int height) {
  Graphics g(dc);
  Prepare(g);
  SolidBrush brush(Argb(label.Font().Color));
  DrawLabelText(g, dc, label.Caption(), label.Font(), brush,
                RectF(0, 0, static_cast<REAL>(width), static_cast<REAL>(height)), label.TextPlace, true);
}

void TPainter::GlassButton(HDC dc, const TGlassButton& button, int width, int height, bool pressed, bool focused) {
  Graphics g(dc);
  Prepare(g);
  const bool enabled = button.Enabled();
  const TColor base = button.Color;
  const RectF r(0.5f, 0.5f, static_cast<REAL>(width - 1), static_cast<REAL>(height - 1));
  GraphicsPath outline;
  RoundedRect(outline, r, static_cast<REAL>(Scale(button.CornerRadius)));

  // Body: lit from above, darker when pressed, washed out when disabled.
  const BYTE alpha = enabled ? 255 : 150;
  LinearGradientBrush body(PointF(0, 0), PointF(0, r.Height), Shade(base, pressed ? -0.10f : 0.55f, alpha),
                           Shade(base, pressed ? -0.25f : -0.18f, alpha));
  g.FillPath(&body, &outline);
  // The glass: a soft highlight over the upper half.
  GraphicsPath gloss;
  RoundedRect(gloss, RectF(r.X + 1, r.Y + 1, r.Width - 2, r.Height / 2), static_cast<REAL>(Scale(button.CornerRadius)));
  LinearGradientBrush shine(PointF(0, 0), PointF(0, r.Height / 2 + 1), Color(enabled ? 150 : 80, 255, 255, 255),
                            Color(enabled ? 40 : 20, 255, 255, 255));
  if (!pressed) g.FillPath(&shine, &gloss);
  Pen border(Shade(base, -0.45f, enabled ? 255 : 120), 1.0f);
  g.DrawPath(&border, &outline);

  const Color ink = enabled ? Argb(button.SymbolColor) : Color(255, 150, 150, 150);
  if (button.Arrow != TArrow::None) {
    const REAL cx = r.X + r.Width / 2, cy = r.Y + r.Height / 2, s = std::min(r.Width, r.Height) * 0.28f;
    const REAL dir = button.Arrow == TArrow::Left ? -1.0f : 1.0f;
    PointF tri[3] = {PointF(cx + dir * s, cy), PointF(cx - dir * s * 0.8f, cy - s), PointF(cx - dir * s * 0.8f, cy + s)};
    SolidBrush brush(ink);
    g.FillPolygon(&brush, tri, 3);
  } else {
    SolidBrush brush(enabled ? Argb(button.Font().Color) : Color(255, 140, 140, 140));
    RectF box = r;
    if (pressed) box.Offset(0, 1);
    DrawLabelText(g, dc, button.Caption(), button.Font(), brush, box, TTextPlace::Center, true);
  }
  if (focused) {
    RECT f = {Scale(3), Scale(3), width - Scale(3), height - Scale(3)};
    DrawFocusRect(dc, &f);
  }
}

void TPainter::ComboItem(HDC dc, const TSmoothComboBox& combo, int index, const RECT& rect, bool selected,
                         bool focused) {
  const bool enabled = combo.Enabled();
  const TGdiObject<HBRUSH> fill(CreateSolidBrush(selected  ? GetSysColor(COLOR_HIGHLIGHT)
                                                 : enabled ? GetSysColor(COLOR_WINDOW)
                                                           : GetSysColor(COLOR_BTNFACE)));
  FillRect(dc, &rect, fill);
  if (index >= 0 && index < static_cast<int>(combo.Items().size())) {
    const TComboItem& item = combo.Items()[static_cast<std::size_t>(index)];
    Graphics g(dc);
    Prepare(g);
    SolidBrush brush(selected ? Argb(kSystemColor | COLOR_HIGHLIGHTTEXT) : Argb(item.FontColor));
    const RectF box(static_cast<REAL>(rect.left + Scale(4)), static_cast<REAL>(rect.top),
                    static_cast<REAL>(rect.right - rect.left - Scale(4)), static_cast<REAL>(rect.bottom - rect.top));
    DrawLabelText(g, dc, item.Caption, combo.Font(), brush, box, TTextPlace::Left, true);
  }
  if (focused) DrawFocusRect(dc, &rect);
}

void TPainter::ListItem(HDC dc, const TSmoothListBox& list, int index, const RECT& rect) {
  if (index < 0 || index >= static_cast<int>(list.Items.size())) return;
  const TListItem& item = list.Items[static_cast<std::size_t>(index)];
  // Plain GDI text: the help lines were measured for it, and GDI+ draws a
  // little wider, which would cut their ends off beside the scroll bar.
  RECT box = rect;
  box.left += Scale(1);
  const TSelected font(dc, GdiFont(item.Font));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, Ref(item.Font.Color));
  DrawTextA(dc, item.Caption.c_str(), static_cast<int>(item.Caption.size()), &box,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}
