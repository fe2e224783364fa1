// How big the image is and how much of it is irreducible data: the data floor is the size of
// every constant table the module carries (pad rows, port and offset lists, pull patterns,
// descriptors), which no change of code generation can shrink.
#pragma once

#include "emu/LinkerMap.h"
#include "emu/PeImage.h"

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace bench {

struct SectionSize {
  std::string Name;
  uint32_t FileBytes;   // SizeOfRawData, padded to the file alignment
  uint32_t MemoryBytes; // VirtualSize, what the section holds
};

struct TableSize {
  std::string Name;
  uint32_t Bytes;
  uint32_t PadRows; // rows of 21 bytes when the table is a pad table, else 0
};

struct SizeReport {
  std::string ImageName;
  uint64_t FileBytes = 0;
  uint32_t HeaderBytes = 0;
  std::vector<SectionSize> Sections;
  std::vector<TableSize> Tables; // in image order
  uint32_t PadRows = 0;
  uint32_t DataFloor = 0;      // sum of the tables
  uint32_t OtherConstants = 0; // read-only data that no named table owns
  uint32_t CodeBytes = 0;      // what .text holds

  // Code per byte of the data floor: how far the code is from the tables it applies.
  double CodeToDataFloor() const;
};

// Tables are the read-only pieces the map attributes to a named symbol.
SizeReport MeasureImage(const std::string& ImageName, uint64_t FileBytes, const emu::PeImage& Image,
                        const emu::LinkerMap& Map);

void PrintSizeReport(std::ostream& Out, const SizeReport& Report);

// The forms the module ships in, side by side: what each costs over the PE32, and how much of
// the volume the module takes.
struct ShippedSizes {
  uint64_t Pe32 = 0;
  uint64_t Te = 0;
  uint64_t Ffs = 0;
  uint64_t Volume = 0;
  uint64_t VolumeUsed = 0; // header and files, up to the free space
};

// Throws package::FormatError when Volume does not read as a volume.
ShippedSizes MeasureShippedForms(uint64_t Pe32Bytes, uint64_t TeBytes, uint64_t FfsBytes,
                                 std::span<const uint8_t> Volume);

void PrintShippedSizes(std::ostream& Out, const ShippedSizes& Sizes);

} // namespace bench
