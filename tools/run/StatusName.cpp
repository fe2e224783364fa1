#include "tools/run/StatusName.h"

#include "common/Format.h"

namespace tools {

std::string StatusName(uint32_t Status) {
  struct Known {
    uint32_t Value;
    const char* Name;
  };
  static constexpr Known known[] = {
      {0x00000000, "EFI_SUCCESS"},      {0x80000002, "EFI_INVALID_PARAMETER"},
      {0x80000003, "EFI_UNSUPPORTED"},  {0x80000006, "EFI_NOT_READY"},
      {0x80000007, "EFI_DEVICE_ERROR"}, {0x80000012, "EFI_TIMEOUT"},
  };
  for (const Known& k : known) {
    if (k.Value == Status) {
      return k.Name;
    }
  }
  return "status " + Hex(Status, 8);
}

} // namespace tools
