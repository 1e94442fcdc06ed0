#include "disk/device_request.h"

#include "platform/os.h"

namespace disk {

bool DeviceRequest(const std::string& path, uint32_t access, uint32_t code, const void* in, uint32_t inSize,
                   void* out, uint32_t outSize, uint32_t& bytesReturned, bool* opened) {
  bytesReturned = 0;
  if (opened) *opened = false;
  Os& os = CurrentOs();
  if (path.empty()) {
    os.SetLastError(os::kErrorInvalidParameter);
    return false;
  }
  OsHandle device(os, os.CreateFileA(path, access, os::kFileShareRead | os::kFileShareWrite, os::kOpenExisting, 0));
  if (!device.Valid()) return false;
  if (opened) *opened = true;
  return os.DeviceIoControl(device.Get(), code, in, inSize, out, outSize, bytesReturned);
}

}  // namespace disk
