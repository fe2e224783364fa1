// The four forms a module ships in (a PE32 image, a TE image, an FFS file, a volume) told apart
// by their first bytes, and the module's code found inside the last two.
#pragma once

#include "package/Guid.h"
#include "package/Section.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace package {

enum class Form { Pe32, Te, File, Volume };

std::string FormName(Form Shape);

// Refuses data that is none of the four: no MZ, VZ or _FVH signature, and no FFS header (one
// whose header checksum holds, or whose size is the data's).
Form DetectForm(std::span<const uint8_t> Data);

struct ModuleCode {
  Form Shape{};
  SectionType Type{};         // Pe32 or Te
  std::vector<uint8_t> Image; // the PE32 or TE image
  std::optional<Guid> File;   // the FFS file that held it
};

// The code of the one PEIM in Data: the whole of a PE32 or TE image; the one PE32 or TE section
// of an FFS file of type PEIM (whose dependency expression, if any, must decode); that of the
// one PEIM of a volume. Data must hold exactly the form
// (nothing after a file or volume) and it must parse whole.
ModuleCode FindModuleCode(std::span<const uint8_t> Data);

} // namespace package
