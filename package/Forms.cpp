#include "package/Forms.h"

#include "package/Bytes.h"
#include "package/Depex.h"
#include "package/Ffs.h"
#include "package/Te.h"
#include "package/Volume.h"

#include <algorithm>

namespace package {

namespace {

constexpr size_t FileSizeAt = 20;

ModuleCode CodeOfPeim(const ParsedFile& File, Form Shape) {
  if (File.Type != FileType::Peim) {
    throw FormatError("file " + File.Name.ToString() + " is a " + FileTypeName(File.Type) +
                      " file, not a PEIM");
  }
  const auto isCode = [](const ParsedSection& s) {
    return s.Type == SectionType::Pe32 || s.Type == SectionType::Te;
  };
  const auto count = std::count_if(File.Sections.begin(), File.Sections.end(), isCode);
  if (count != 1) {
    throw FormatError("file " + File.Name.ToString() + " holds " + std::to_string(count) +
                      " PE32 or TE sections, not one");
  }
  const ParsedSection& code = *std::find_if(File.Sections.begin(), File.Sections.end(), isCode);
  // A PEI core would not dispatch a module whose dependency expression it cannot evaluate.
  for (const ParsedSection& section : File.Sections) {
    if (section.Type == SectionType::PeiDepex) {
      ParseDepex(section.Data);
    }
  }
  return {Shape, code.Type, code.Data, File.Name};
}

} // namespace

std::string FormName(Form Shape) {
  switch (Shape) {
  case Form::Pe32:
    return "PE32 image";
  case Form::Te:
    return "TE image";
  case Form::File:
    return "FFS file";
  case Form::Volume:
    return "firmware volume";
  }
  return "unknown form";
}

Form DetectForm(std::span<const uint8_t> Data) {
  if (Data.size() >= 2 && Data[0] == 'M' && Data[1] == 'Z') {
    return Form::Pe32;
  }
  if (Data.size() >= 2 && Data[0] == 'V' && Data[1] == 'Z') {
    return Form::Te;
  }
  if (LooksLikeVolume(Data)) {
    return Form::Volume;
  }
  if (LooksLikeFile(Data) ||
      (Data.size() >= FileHeaderSize && Reader(Data).U24(FileSizeAt, "") == Data.size())) {
    return Form::File;
  }
  throw FormatError("not a PE32 image, TE image, FFS file or firmware volume (no MZ, VZ or _FVH "
                    "signature, no FFS file header)");
}

ModuleCode FindModuleCode(std::span<const uint8_t> Data) {
  const Form shape = DetectForm(Data);
  switch (shape) {
  case Form::Pe32:
    return {shape, SectionType::Pe32, {Data.begin(), Data.end()}, std::nullopt};
  case Form::Te:
    return {shape, SectionType::Te, {Data.begin(), Data.end()}, std::nullopt};
  case Form::File: {
    const ParsedFile file = ParseFile(Data);
    if (file.Size != Data.size()) {
      throw FormatError(std::to_string(Data.size() - file.Size) + " bytes after the file's end");
    }
    return CodeOfPeim(file, shape);
  }
  case Form::Volume:
    break;
  }
  const ParsedVolume volume = ParseVolume(Data);
  if (volume.Length != Data.size()) {
    throw FormatError(std::to_string(Data.size() - volume.Length) +
                      " bytes after the volume's end");
  }
  std::vector<const ParsedFile*> peims;
  for (const VolumeFile& file : volume.Files) {
    if (file.File.Type == FileType::Peim && !file.File.Deleted()) {
      peims.push_back(&file.File);
    }
  }
  if (peims.size() != 1) {
    throw FormatError("the volume holds " + std::to_string(peims.size()) +
                      " PEIMs; the runner runs one");
  }
  return CodeOfPeim(*peims.front(), shape);
}

} // namespace package
