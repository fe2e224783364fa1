#include "sim/devices/PciConfigWindow.h"

namespace sim {

PciFunction* PciConfigWindow::Find(uint32_t Offset) {
  auto it = functions_.find(Offset >> 12);
  return it != functions_.end() && it->second->Present() ? it->second : nullptr;
}

uint32_t PciConfigWindow::Read(uint32_t Offset, unsigned Width) {
  PciFunction* function = Find(Offset);
  return function != nullptr ? function->ConfigRead(Offset & 0xFFF, Width) : AllOnes(Width);
}

void PciConfigWindow::Write(uint32_t Offset, unsigned Width, uint32_t Value) {
  if (PciFunction* function = Find(Offset)) {
    function->ConfigWrite(Offset & 0xFFF, Width, Value);
  }
}

} // namespace sim
