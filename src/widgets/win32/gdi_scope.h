// GDI objects and device contexts held for a scope: each is given back (deleted,
// deselected or released) when the scope ends, however it ends.
#pragma once

#include <windows.h>

// A brush, pen, font or bitmap that this scope made; deleted at its end.
template <typename Handle>
class TGdiObject {
 public:
  explicit TGdiObject(Handle object) : object_(object) {}
  ~TGdiObject() {
    if (object_) DeleteObject(object_);
  }
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  operator Handle() const { return object_; }

 private:
  Handle object_;
};

// An object selected into a DC; the one it replaced is selected again at the end.
class TSelected {
 public:
  TSelected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~TSelected() { SelectObject(dc_, old_); }
  TSelected(const TSelected&) = delete;
  TSelected& operator=(const TSelected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A window's DC (its client area, or with whole set the whole window, frame
// included); the screen's for a null window. Released at the end.
class TWindowDc {
 public:
  explicit TWindowDc(HWND window, bool whole = false)
      : window_(window), dc_(whole ? GetWindowDC(window) : GetDC(window)) {}
  ~TWindowDc() { ReleaseDC(window_, dc_); }
  TWindowDc(const TWindowDc&) = delete;
  TWindowDc& operator=(const TWindowDc&) = delete;
  operator HDC() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};
