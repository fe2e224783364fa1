// A PEI module as an FFS file: its dependency expression, its code (TE or PE32), its name and,
// where given, its version, in that order.
#pragma once

#include "package/Ffs.h"
#include "package/Guid.h"
#include "package/Section.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace package {

enum class CodeForm { Te, Pe32 };

struct PeimSpec {
  Guid Name;
  std::string UserInterfaceName;
  std::vector<uint8_t> Depex; // a PEI dependency expression (DepexAlways(), DepexAfterPpi())
  CodeForm Form = CodeForm::Te;
  std::optional<ModuleVersion> Version = std::nullopt; // no version section without one
};

// The file for the module built as the PE32 Pe32; the TE form is converted from it. Refuses an
// image that is not a module's (LoadedImage.h), in either form.
FileSpec PeimFile(const PeimSpec& Wanted, std::span<const uint8_t> Pe32);

} // namespace package
