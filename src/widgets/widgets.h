// The widget toolkit's portable objects: plain properties and events that the
// window code sets and handles. A renderer (widgets/win32) binds them to real
// windows; native tests read the properties directly.
#pragma once

#include <functional>
#include <string>

// Window border styles the program uses.
enum class TBorderStyle { Single };  // single fixed border, not resizable

// A rich-text box; the program only keeps text in it.
class TRichEdit {
 public:
  std::string Text;
  bool Visible = true;
};

class TForm {
 public:
  virtual ~TForm() = default;

  std::string Caption;
  int ClientWidth = 0;
  int ClientHeight = 0;
  TBorderStyle BorderStyle = TBorderStyle::Single;
  bool MinimizeBox = true;
  bool MaximizeBox = false;
  bool CenterOnScreen = true;
  std::string FontName = "Tahoma";
  int FontSizePt = 8;

  // Events the renderer raises on the GUI thread.
  std::function<void()> OnCreate;
  std::function<void()> OnShow;
  std::function<void()> OnClose;
};
