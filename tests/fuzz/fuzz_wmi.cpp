// fuzz_wmi: the values WMI hands back for the memory modules
// (Win32_PhysicalMemory), of every variant type, for any number of modules,
// as TWmiInfo::GetPhysicalMemorySize reads them; and a failure at any COM or
// WMI step before them.
//
// Input: the step that fails (with its HRESULT), the state COM is found in,
// the number of modules, then per module and property (BankLabel, FormFactor,
// Capacity, Caption, CreationClassName, DataWidth, Description) a kind
// (absent, empty, null, text, integer, other) and its text or integer.
// Properties: the size is the sum, over the first 256 modules whose form
// factor is DIMM (8) or SODIMM (12), of their capacity in whole MB, where an
// integer counts as it is and a text only when it is a whole decimal number
// in 64 bits; a failed step gives 0; each listed module writes its six lines
// in order; every COM object is released exactly once, and COM is left as
// it was found.
#include "fuzz_common.h"

namespace {

using fuzz::Input;
using fuzz::Seed;

const wchar_t* const kProperties[] = {L"BankLabel",         L"FormFactor", L"Capacity",   L"Caption",
                                      L"CreationClassName", L"DataWidth",  L"Description"};
const wchar_t* const kListed[] = {L"BankLabel=", L"Capacity=",  L"Caption=",
                                  L"CreationClassName=", L"DataWidth=", L"Description="};
constexpr int kMaxModules = 256;

// A whole decimal number with an optional sign that fits in 64 bits.
std::optional<int64_t> Decimal(const std::wstring& text) {
  std::size_t i = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == L'+' || text[0] == L'-')) {
    negative = text[0] == L'-';
    i = 1;
  }
  if (i == text.size()) return std::nullopt;
  __int128 value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
    value = value * 10 + (text[i] - L'0');
    if (value > (static_cast<__int128>(1) << 63)) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT64_MAX || value < INT64_MIN) return std::nullopt;
  return static_cast<int64_t>(value);
}

std::optional<int64_t> Number(const std::map<std::wstring, os::Variant>& properties, const wchar_t* name) {
  auto it = properties.find(name);
  if (it == properties.end()) return std::nullopt;
  if (it->second.type == os::Variant::Type::Integer) return it->second.integer;
  if (it->second.type == os::Variant::Type::String) return Decimal(it->second.text);
  return std::nullopt;
}

os::Variant ReadVariant(Input& in, uint8_t kind) {
  os::Variant v;
  switch (kind % 6) {
    case 1: v.type = os::Variant::Type::Empty; break;
    case 2: v.type = os::Variant::Type::Null; break;
    case 3: {
      v.type = os::Variant::Type::String;
      const std::size_t n = in.U8();
      for (std::size_t i = 0; i < n && !in.Empty(); ++i) v.text.push_back(static_cast<wchar_t>(in.U16()));
      break;
    }
    case 4:
      v.type = os::Variant::Type::Integer;
      v.integer = static_cast<int64_t>(in.U64());
      break;
    default:
      v.type = os::Variant::Type::Other;
      v.integer = static_cast<int64_t>(in.U64());  // a value of a type the program does not read
      break;
  }
  return v;
}

void Run(fuzz::FuzzPc& pc, Input& in) {
  const uint8_t fail = in.U8() % 8;  // 0 none, 1..6 the step, 7 Next
  const uint32_t hr = in.U32() | 0x80000000u;
  const uint8_t found = in.U8();  // bit 0: security set already; bit 1: a single-threaded apartment; bit 2: COM in use
  const std::size_t modules = in.U16() % 300;
  for (std::size_t m = 0; m < modules && !in.Empty(); ++m) {
    SimMemoryModule module;
    for (const wchar_t* name : kProperties) {
      const uint8_t kind = in.U8();
      if (kind % 6 == 0) continue;  // absent: the property does not exist
      module.Properties[name] = ReadVariant(in, kind);
    }
    pc.System.MemoryModules.push_back(std::move(module));
  }

  if (found & 1) pc.System.SecurityInitializedBefore();
  if (found & 2) {
    pc.System.InitializedBefore(SimApartment::SingleThreaded);
  } else if (found & 4) {
    pc.System.InitializedBefore(SimApartment::MultiThreaded);
  }
  const SimApartment apartment = pc.System.Apartment();
  const int initCount = pc.System.ComInitCount();
  const Call steps[] = {Call::CoInitializeEx,    Call::CoInitializeSecurity, Call::CreateWbemLocator,
                        Call::WbemConnectServer, Call::CoSetProxyBlanket,    Call::WbemExecQuery};
  if (fail >= 1 && fail <= 6) pc.FailNth(steps[fail - 1], 1, hr);
  const std::size_t failAt = modules ? in.U16() % (modules + 1) : 0;
  if (fail == 7) pc.FailNth(Call::WbemNext, static_cast<int>(failAt) + 1, hr);

  const uint32_t size = TWmiInfo().GetPhysicalMemorySize();

  // Which modules a correct reader lists and counts.
  const bool noCom = fail == 1 && apartment == SimApartment::None;
  const bool securityFails = fail == 2 && static_cast<os::HResult>(hr) != os::kRpcETooLate;
  const bool stepFails = (fail >= 3 && fail <= 6) || securityFails || noCom;
  std::size_t listed = stepFails ? 0 : std::min<std::size_t>(pc.System.MemoryModules.size(), kMaxModules);
  if (fail == 7) listed = std::min(listed, failAt);
  int64_t total = 0;
  for (std::size_t m = 0; m < listed; ++m) {
    const auto& p = pc.System.MemoryModules[m].Properties;
    const int64_t formFactor = Number(p, L"FormFactor").value_or(0);
    if (formFactor != 8 && formFactor != 12) continue;
    total += Number(p, L"Capacity").value_or(0) / 1048576;
  }
  FUZZ_CHECK(size == static_cast<uint32_t>(static_cast<uint64_t>(total)));

  // Six lines a module, in order.
  std::vector<std::wstring> lines;
  for (const SimCall& c : pc.Calls)
    if (c.kind == Call::WriteStdOutWide) lines.emplace_back(c.detail.begin(), c.detail.end());
  FUZZ_CHECK(lines.size() == 6 * listed);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::wstring key = kListed[k % 6];
    FUZZ_CHECK(lines[k].compare(0, key.size(), key) == 0);
  }

  // COM: every object released, nothing released twice, the apartment as it was.
  FUZZ_CHECK(pc.System.ComFaults.empty());
  FUZZ_CHECK(pc.System.LiveComObjects() == 0);
  FUZZ_CHECK(pc.System.ComInitCount() == initCount);
  FUZZ_CHECK(pc.System.Apartment() == apartment);
}

// ---- seeds: the simulated machine's own modules ----

void PutVariant(Seed& s, const os::Variant* v) {
  if (!v) {
    s.U8(0);
    return;
  }
  switch (v->type) {
    case os::Variant::Type::Empty: s.U8(1); break;
    case os::Variant::Type::Null: s.U8(2); break;
    case os::Variant::Type::String:
      s.U8(3).U8(static_cast<uint8_t>(v->text.size()));
      for (wchar_t c : v->text) s.U16(static_cast<uint16_t>(c));
      break;
    case os::Variant::Type::Integer: s.U8(4).U64(static_cast<uint64_t>(v->integer)); break;
    default: s.U8(5).U64(0); break;
  }
}

Seed ModulesSeed(uint8_t fail, uint8_t found, const std::vector<SimMemoryModule>& modules) {
  Seed s;
  s.U8(fail).U32(0x80041003u).U8(found).U16(static_cast<uint16_t>(modules.size()));
  for (const SimMemoryModule& m : modules) {
    for (const wchar_t* name : kProperties) {
      auto it = m.Properties.find(name);
      PutVariant(s, it == m.Properties.end() ? nullptr : &it->second);
    }
  }
  s.U16(1);
  return s;
}

void WriteSeeds(const std::string& dir) {
  const uint64_t kGiB = 1073741824;
  const std::vector<SimMemoryModule> laptop = {SimMemoryModule::Make(8 * kGiB, 12, L"BANK 0"),
                                               SimMemoryModule::Make(8 * kGiB, 12, L"BANK 2")};
  std::vector<SimMemoryModule> desktop;
  for (int i = 0; i < 4; ++i) desktop.push_back(SimMemoryModule::Make(16 * kGiB, 8, L"P0 CHANNEL A"));
  desktop.push_back(SimMemoryModule::Make(512 * 1048576, 0, L"SYSTEM ROM"));
  std::vector<SimMemoryModule> odd = laptop;
  odd[0].SetNull(L"Capacity");
  odd[1].SetInteger(L"Capacity", 4 * static_cast<int64_t>(kGiB)).SetText(L"FormFactor", L"12");
  odd.push_back(SimMemoryModule::Make(2 * kGiB, 8, L"X").SetText(L"Capacity", L"-18446744073709551616"));
  odd.push_back(SimMemoryModule::Make(2 * kGiB, 8, L"Y").Remove(L"FormFactor"));

  fuzz::SaveSeed(dir, "laptop", ModulesSeed(0, 0, laptop));
  fuzz::SaveSeed(dir, "desktop-com-in-use", ModulesSeed(0, 4 | 1, desktop));
  fuzz::SaveSeed(dir, "odd-values", ModulesSeed(0, 0, odd));
  fuzz::SaveSeed(dir, "single-threaded", ModulesSeed(1, 2, laptop));
  for (uint8_t step = 2; step <= 7; ++step)
    fuzz::SaveSeed(dir, "fails-at-" + std::to_string(step), ModulesSeed(step, 0, desktop));
}

}  // namespace

FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return fuzz::RunOnFreshPc<fuzz::FuzzPc>(data, size, Run);
}
