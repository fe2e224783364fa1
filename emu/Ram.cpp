#include "emu/Ram.h"

#include <unicorn/unicorn.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace emu {

void Ram::Map(uc_struct* Uc, uint32_t Address, uint32_t Size, uint32_t Permissions, bool Code) {
  Region region{
      Address, Size, Code, {static_cast<uint8_t*>(std::aligned_alloc(PageSize, Size)), std::free}};
  if (!region.Bytes) {
    throw std::bad_alloc();
  }
  std::memset(region.Bytes.get(), 0, Size);
  const uc_err error = uc_mem_map_ptr(Uc, Address, Size, Permissions, region.Bytes.get());
  if (error != UC_ERR_OK) {
    throw std::runtime_error(std::string("image runner: cannot map RAM: ") + uc_strerror(error));
  }
  regions_.push_back(std::move(region));
}

void Ram::Save(uint32_t Address, uint32_t Size) {
  for (uint32_t page = Address & ~(PageSize - 1); page < Address + Size; page += PageSize) {
    uint8_t* bytes = At(page, PageSize);
    if (bytes == nullptr) {
      throw std::logic_error("image runner: saving RAM that is not mapped");
    }
    bool code = false;
    for (const Region& region : regions_) {
      code |= region.Code && page - region.Address < region.Size;
    }
    saved_.push_back({page, bytes, code});
  }
}

uint8_t* Ram::At(uint32_t Address, uint32_t Size) {
  for (Region& region : regions_) {
    if (Address >= region.Address &&
        uint64_t{Address} + Size <= uint64_t{region.Address} + region.Size) {
      return region.Bytes.get() + (Address - region.Address);
    }
  }
  return nullptr;
}

RamImage Ram::Snapshot() const {
  RamImage image(saved_.size());
  for (size_t i = 0; i < saved_.size(); ++i) {
    std::memcpy(image[i].data(), saved_[i].Bytes, PageSize);
  }
  return image;
}

std::vector<SavedPage> Ram::Changes(const RamImage& Origin) const {
  std::vector<SavedPage> changes;
  for (size_t i = 0; i < saved_.size(); ++i) {
    if (std::memcmp(saved_[i].Bytes, Origin[i].data(), PageSize) != 0) {
      SavedPage& page = changes.emplace_back();
      page.Index = static_cast<uint32_t>(i);
      std::memcpy(page.Bytes.data(), saved_[i].Bytes, PageSize);
    }
  }
  return changes;
}

void Ram::Put(uc_struct* Uc, const Page& To, const uint8_t* Bytes) {
  if (std::memcmp(To.Bytes, Bytes, PageSize) == 0) {
    return;
  }
  std::memcpy(To.Bytes, Bytes, PageSize);
  if (To.Code) {
    uc_ctl_remove_cache(Uc, To.Address, To.Address + PageSize);
  }
}

void Ram::Restore(uc_struct* Uc, const RamImage& Origin, std::span<const SavedPage> Pages) {
  if (Origin.size() != saved_.size()) {
    throw std::logic_error("image runner: a checkpoint of another machine's RAM");
  }
  size_t next = 0; // Pages are in index order
  for (size_t i = 0; i < saved_.size(); ++i) {
    if (next < Pages.size() && Pages[next].Index == i) {
      Put(Uc, saved_[i], Pages[next++].Bytes.data());
    } else {
      Put(Uc, saved_[i], Origin[i].data());
    }
  }
}

} // namespace emu
