#include "package/Peim.h"

#include "package/Depex.h"
#include "package/LoadedImage.h"
#include "package/Te.h"

namespace package {

FileSpec PeimFile(const PeimSpec& Wanted, std::span<const uint8_t> Pe32) {
  ParseDepex(Wanted.Depex); // refuse an expression no PEI core would evaluate
  LoadPe32(Pe32);           // and an image the image runner would refuse
  FileSpec file{Wanted.Name, FileType::Peim, {}};
  file.Sections.push_back({SectionType::PeiDepex, Wanted.Depex});
  if (Wanted.Form == CodeForm::Te) {
    const std::vector<uint8_t> te = ConvertPeToTe(Pe32);
    LoadTe(te);
    file.Sections.push_back({SectionType::Te, te});
  } else {
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
