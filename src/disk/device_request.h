// The one way TDisk talks to a device: open the path, make one
// DeviceIoControl request, close the handle.
#pragma once

#include <cstdint>
#include <string>

namespace disk {

// Opens path with CreateFileA(access, FILE_SHARE_READ | FILE_SHARE_WRITE,
// OPEN_EXISTING, no flags), issues the request and closes the handle, keeping
// the request's last error. Returns whether DeviceIoControl succeeded; opened
// (when given) tells whether the open did. An empty path is refused without
// being opened.
bool DeviceRequest(const std::string& path, uint32_t access, uint32_t code, const void* in, uint32_t inSize,
                   void* out, uint32_t outSize, uint32_t& bytesReturned, bool* opened = nullptr);

}  // namespace disk
