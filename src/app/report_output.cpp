#include "app/report_output.h"

namespace {
bool Usable(os::Handle h) { return h != os::kNull && h != os::kInvalid; }
}  // namespace

void TReportOutput::Open() {
  Os& os = CurrentOs();
  os::Handle out = os.GetStdHandle(os::kStdOutputHandle);
  if (!Usable(out) && os.AttachConsole(os::kAttachParentProcess)) {
    out = os.GetStdHandle(os::kStdOutputHandle);
    if (!Usable(out)) {
      // The standard handles of a windowed process may stay unset after
      // the attach; the console's screen buffer is there by name.
      Console_ = OsHandle(os, os.CreateFileA("CONOUT$", os::kGenericRead | os::kGenericWrite,
                                             os::kFileShareRead | os::kFileShareWrite, os::kOpenExisting, 0));
      out = Console_.Get();
    }
  }
  Out_ = Usable(out) ? out : os::kNull;
}

void TReportOutput::Line(const std::string& text) {
  if (Out_ == os::kNull) return;
  const std::string bytes = text + "\r\n";
  uint32_t written = 0;
  CurrentOs().WriteFile(Out_, bytes.data(), static_cast<uint32_t>(bytes.size()), written);
}
