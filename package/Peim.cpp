#include "package/Peim.h"

#include "package/Depex.h"
#include "package/Te.h"

namespace package {

FileSpec PeimFile(const PeimSpec& Spec, std::span<const uint8_t> Pe32) {
  ParseDepex(Spec.Depex); // refuse an expression no PEI core would evaluate
  FileSpec file{Spec.Name, FileType::Peim, {}};
  file.Sections.push_back({SectionType::PeiDepex, Spec.Depex});
  if (Spec.Form == CodeForm::Te) {
    file.Sections.push_back({SectionType::Te, ConvertPeToTe(Pe32)});
  } else {
    ReadPeHeaders(Pe32);
    file.Sections.push_back({SectionType::Pe32, {Pe32.begin(), Pe32.end()}});
  }
  file.Sections.push_back({SectionType::UserInterface, UserInterfaceData(Spec.UserInterfaceName)});
  return file;
}

} // namespace package
