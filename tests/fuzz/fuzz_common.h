// Shared pieces of the fuzz targets: the fuzzer's bytes read as a stream of
// little-endian fields, seed inputs written in the same form, a simulated PC
// that lets a target answer chosen device requests itself and records every
// open and request, and the property check.
//
// A target's inputs are never rejected: a stream that runs out reads as
// zeros, so every byte string is a valid input and the fuzzer wastes nothing.
// Running a target with ORV_FUZZ_WRITE_SEEDS=<dir> writes its seed inputs
// there (built from the simulated PC's own replies) and exits.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "disk/disk.h"
#include "platform/sim/sim_pc.h"
#include "shell/debug_console.h"
#include "shell/os_version.h"
#include "sys/power_man.h"
#include "sys/wmi_info.h"

// A broken property: say which, then abort so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                   \
  do {                                                                                     \
    if (!(cond)) {                                                                         \
      std::fprintf(stderr, "broken property: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

// Defines LLVMFuzzerInitialize: with ORV_FUZZ_WRITE_SEEDS set, writes the
// target's seeds into that folder and ends the process.
#define FUZZ_SEEDS(writer)                                          \
  extern "C" int LLVMFuzzerInitialize(int*, char***) {              \
    if (const char* dir = std::getenv("ORV_FUZZ_WRITE_SEEDS")) {    \
      writer(std::string(dir));                                     \
      std::exit(0);                                                 \
    }                                                               \
    return 0;                                                       \
  }

namespace fuzz {

// The unreturned part of a reply buffer holds this, as the simulated driver
// leaves it, so a reader that goes past the bytes returned reads nonsense.
constexpr uint8_t kUnreturned = 0xA5;

class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  bool Empty() const { return p_ == end_; }
  std::size_t Left() const { return static_cast<std::size_t>(end_ - p_); }
  uint8_t U8() { return p_ < end_ ? *p_++ : 0; }
  uint16_t U16() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  uint32_t U32() {
    const uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  uint64_t U64() {
    const uint64_t lo = U32();
    return lo | (static_cast<uint64_t>(U32()) << 32);
  }
  std::vector<uint8_t> Bytes(std::size_t n) {
    n = std::min(n, Left());
    std::vector<uint8_t> out(p_, p_ + n);
    p_ += n;
    return out;
  }
  // A run of bytes after its 16-bit length.
  std::vector<uint8_t> Blob() { return Bytes(U16()); }
  std::string Text(std::size_t max) {
    const std::vector<uint8_t> b = Blob();
    return std::string(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(std::min(max, b.size())));
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

// Writes what Input reads.
class Seed {
 public:
  Seed& U8(uint8_t v) {
    data.push_back(v);
    return *this;
  }
  Seed& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
  Seed& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
  Seed& U64(uint64_t v) { return U32(static_cast<uint32_t>(v)).U32(static_cast<uint32_t>(v >> 32)); }
  Seed& Bytes(const std::vector<uint8_t>& b) {
    data.insert(data.end(), b.begin(), b.end());
    return *this;
  }
  Seed& Blob(const std::vector<uint8_t>& b) { return U16(static_cast<uint16_t>(b.size())).Bytes(b); }
  Seed& Text(const std::string& s) { return Blob(std::vector<uint8_t>(s.begin(), s.end())); }

  std::vector<uint8_t> data;
};

inline void SaveSeed(const std::string& dir, const std::string& name, const Seed& seed) {
  std::ofstream out(dir + "/" + name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(seed.data.data()), static_cast<std::streamsize>(seed.data.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write seed %s/%s\n", dir.c_str(), name.c_str());
    std::exit(1);
  }
}

// Every process-wide service the code under test creates on first use; the
// log keeps each line in memory, so it must go every run.
inline void ResetServices() {
  ReleaseDisk();
  ReleaseOsVersion();
  ReleaseWmiInfo();
  ReleasePowerMan();
  ReleaseDebugConsole();
}

inline uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
inline uint64_t Le64(const uint8_t* p) { return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32; }

// One device request as the caller saw it answered.
struct Request {
  std::string path;
  uint32_t access = 0;
  uint32_t code = 0;
  std::vector<uint8_t> input;
  uint32_t outSize = 0;
  bool ok = false;
  uint32_t bytes = 0;
  std::vector<uint8_t> output;  // the caller's whole buffer after the call
  bool fuzzed = false;          // answered by the target, not the simulated driver
};

struct Open {
  std::string path;
  uint32_t access = 0;
  bool ok = false;
};

// Writes a reply body as a driver does: what fits the buffer, the rest of the
// buffer left with the unreturned pattern. Returns the bytes written.
inline uint32_t PutReply(const std::vector<uint8_t>& body, uint8_t* out, uint32_t outSize) {
  const uint32_t n = static_cast<uint32_t>(std::min<std::size_t>(body.size(), outSize));
  if (!out) return 0;
  if (n) std::memcpy(out, body.data(), n);
  if (outSize > n) std::memset(out + n, kUnreturned, outSize - n);
  return n;
}

// The simulated PC, with a hook that may answer a device request in place of
// the simulated driver, and a record of every device open and request.
class FuzzPc : public SimPc {
 public:
  // Returns the request's result, or nothing to pass it to the simulated driver.
  using Answer = std::function<std::optional<bool>(const std::string& path, uint32_t code, const uint8_t* in,
                                                   uint32_t inSize, uint8_t* out, uint32_t outSize,
                                                   uint32_t& bytes)>;
  Answer answer;
  std::vector<Open> opens;
  std::vector<Request> requests;
  std::vector<os::Guid> guids;  // what CoCreateGuid handed out
  std::optional<uint32_t> logicalDrives;  // what GetLogicalDrives says, when not the machine's own

  os::Handle CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                         uint32_t flags) override {
    const os::Handle h = SimPc::CreateFileA(path, access, share, disposition, flags);
    const bool ok = h != os::kInvalid && h != os::kNull;
    opens.push_back({path, access, ok});
    if (ok) devices_[h] = {path, access};
    return h;
  }

  bool CloseHandle(os::Handle h) override {
    devices_.erase(h);
    return SimPc::CloseHandle(h);
  }

  bool DeviceIoControl(os::Handle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize, uint32_t& bytesReturned) override {
    auto it = devices_.find(device);
    Request r;
    if (it != devices_.end()) {
      r.path = it->second.path;
      r.access = it->second.access;
    }
    r.code = code;
    if (in && inSize) r.input.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inSize);
    r.outSize = outSize;
    std::optional<bool> answered;
    bytesReturned = 0;
    if (it != devices_.end() && answer) {
      uint32_t bytes = 0;
      answered = answer(r.path, code, static_cast<const uint8_t*>(in), inSize, static_cast<uint8_t*>(out), outSize,
                        bytes);
      if (answered) {
        bytesReturned = bytes;
        if (!*answered) SetLastError(os::kErrorGenFailure);
      }
    }
    r.fuzzed = answered.has_value();
    r.ok = answered ? *answered : SimPc::DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned);
    r.bytes = bytesReturned;
    if (out && outSize) r.output.assign(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + outSize);
    requests.push_back(std::move(r));
    return requests.back().ok;
  }

  uint32_t GetLogicalDrives() override {
    const uint32_t mask = SimPc::GetLogicalDrives();
    return logicalDrives ? *logicalDrives : mask;
  }

  bool CoCreateGuid(os::Guid& guid) override {
    const bool ok = SimPc::CoCreateGuid(guid);
    if (ok) guids.push_back(guid);
    return ok;
  }

  std::vector<const Request*> RequestsFor(uint32_t code) const {
    std::vector<const Request*> found;
    for (const Request& r : requests)
      if (r.code == code) found.push_back(&r);
    return found;
  }

 private:
  struct Device {
    std::string path;
    uint32_t access;
  };
  std::map<os::Handle, Device> devices_;
};

// Runs one input on a fresh simulated PC of type Pc with every service made
// anew, so no input can lean on what an earlier one left behind.
template <typename Pc, typename RunInput>
int RunOnFreshPc(const uint8_t* data, std::size_t size, RunInput run) {
  Input in(data, size);
  Pc pc;
  ScopedOs seam(pc);
  ResetServices();
  run(pc, in);
  ResetServices();
  return 0;
}

}  // namespace fuzz
