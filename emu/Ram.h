// The machine's RAM (the image, the hand-off memory and the stack) in memory of the runner's own
// that the emulated CPU works on directly, page by page: so a checkpoint can find the pages a run
// has changed and put them back without going through the emulator.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct uc_struct;

namespace emu {

constexpr uint32_t PageSize = 0x1000;

// A copy of one page of RAM.
struct SavedPage {
  uint32_t Index; // into Ram's saved pages
  std::array<uint8_t, PageSize> Bytes;
};

// Every saved page of RAM at one moment, by index: what checkpoints of a run are told apart from.
using RamImage = std::vector<std::array<uint8_t, PageSize>>;

class Ram {
public:
  // Maps Size bytes at Address (both page-aligned) into Uc, zeroed. Code says the region also
  // holds code the CPU may have translated.
  void Map(uc_struct* Uc, uint32_t Address, uint32_t Size, uint32_t Permissions, bool Code);
  // The pages over [Address, Address + Size) are what checkpoints keep: those a run may write.
  void Save(uint32_t Address, uint32_t Size);

  // The bytes at Address, which must lie in one mapped region; null otherwise.
  uint8_t* At(uint32_t Address, uint32_t Size);

  RamImage Snapshot() const;
  // The saved pages that differ from Origin.
  std::vector<SavedPage> Changes(const RamImage& Origin) const;
  // Makes the saved pages those of Origin with Pages over them. Only pages that differ are
  // written, and the translations of code only on those.
  void Restore(uc_struct* Uc, const RamImage& Origin, std::span<const SavedPage> Pages);

  // Bytes of saved RAM: what a snapshot holds.
  size_t SavedBytes() const { return saved_.size() * PageSize; }

private:
  struct Region {
    uint32_t Address;
    uint32_t Size;
    bool Code;
    std::unique_ptr<uint8_t[], void (*)(void*)> Bytes;
  };
  struct Page {
    uint32_t Address;
    uint8_t* Bytes;
    bool Code;
  };
  void Put(uc_struct* Uc, const Page& To, const uint8_t* Bytes);

  std::vector<Region> regions_;
  std::vector<Page> saved_;
};

} // namespace emu
