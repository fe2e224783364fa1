#include "package/Peim.h"

#include "package/Depex.h"
#include "package/Te.h"

namespace package {

FileSpec PeimFile(const PeimSpec& Wanted, std::span<const uint8_t> Pe32) {
  ParseDepex(Wanted.Depex); // refuse an expression no PEI core would evaluate
  FileSpec file{Wanted.Name, FileType::Peim, {}};
  file.Sections.push_back({SectionType::PeiDepex, Wanted.Depex});
  if (Wanted.Form == CodeForm::Te) {
    file.Sections.push_back({SectionType::Te, ConvertPeToTe(Pe32)});
  } else {
    ReadPeHeaders(Pe32);
    file.Sections.push_back({SectionType::Pe32, {Pe32.begin(), Pe32.end()}});
  }
  file.Sections.push_back(
      {SectionType::UserInterface, UserInterfaceData(Wanted.UserInterfaceName)});
  if (Wanted.Version) {
    file.Sections.push_back({SectionType::Version, VersionData(*Wanted.Version)});
  }
  return file;
}

} // namespace package
