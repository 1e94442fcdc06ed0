#include "app/report_output.h"

namespace {
bool Usable(os::Handle h) { return h != os::kNull && h != os::kInvalid; }
}  // namespace

void TReportOutput::Open() {
  os::Handle out = CurrentOs().GetStdHandle(os::kStdOutputHandle);
  if (!Usable(out)) out = AttachParentConsole();
  Out_ = Usable(out) ? out : os::kNull;
}

os::Handle TReportOutput::AttachParentConsole() {
  Os& os = CurrentOs();
  TriedConsole_ = true;
  if (!os.AttachConsole(os::kAttachParentProcess)) return os::kNull;
  const os::Handle out = os.GetStdHandle(os::kStdOutputHandle);
  if (Usable(out)) return out;
  // The standard handles of a windowed process may stay unset after the
  // attach; the console's screen buffer is there by name.
  Console_ = OsHandle(os, os.CreateFileA("CONOUT$", os::kGenericRead | os::kGenericWrite,
                                         os::kFileShareRead | os::kFileShareWrite, os::kOpenExisting, 0));
  return Console_.Get();
}

bool TReportOutput::Write(const std::string& bytes) {
  uint32_t written = 0;
  return CurrentOs().WriteFile(Out_, bytes.data(), static_cast<uint32_t>(bytes.size()), written) &&
         written == bytes.size();
}

void TReportOutput::Line(const std::string& text) {
  if (Out_ == os::kNull) return;
  const std::string bytes = text + "\r\n";
  if (Write(bytes) || TriedConsole_) return;
  // A standard handle that is set but unusable here (one a console parent
  // left to a windowed child on older systems): the console itself, then.
  const os::Handle console = AttachParentConsole();
  Out_ = Usable(console) ? console : os::kNull;
  if (Out_ != os::kNull) Write(bytes);
}
