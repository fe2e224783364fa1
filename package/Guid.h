// A GUID as the PI layouts store it: the first three fields little-endian, the last eight bytes
// in order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace package {

struct Guid {
  std::array<uint8_t, 16> Bytes{};

  // From the registry form "8C8CE578-8A3D-4F1C-9935-896185C32DD3" (either case); none when the
  // text is not one.
  static std::optional<Guid> Parse(std::string_view Text);
  static Guid FromBytes(std::span<const uint8_t, 16> Bytes);
  // The registry form, upper case.
  std::string ToString() const;

  bool operator==(const Guid&) const = default;
};

// The file system of an FFS2 volume (EFI_FIRMWARE_FILE_SYSTEM2_GUID).
extern const Guid FirmwareFileSystem2;
extern const Guid FirmwareFileSystem3;
// Installed by the PEI core once permanent memory is in use
// (EFI_PEI_PERMANENT_MEMORY_INSTALLED_PPI).
extern const Guid PermanentMemoryInstalledPpi;

} // namespace package
