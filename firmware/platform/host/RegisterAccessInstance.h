// Host instance of the register primitives: out-of-line calls that forward to the simulated
// board installed behind them (tools/run/RegisterAccessHost.cpp, hosted code outside the module).
// Host builds put this directory on the include path, the image build the target one.
#pragma once

#include <stdint.h>

uint8_t MmioRead8(uint32_t Address);
uint16_t MmioRead16(uint32_t Address);
uint32_t MmioRead32(uint32_t Address);
void MmioWrite8(uint32_t Address, uint8_t Value);
void MmioWrite16(uint32_t Address, uint16_t Value);
void MmioWrite32(uint32_t Address, uint32_t Value);

uint32_t IoRead32(uint16_t Port);
void IoWrite32(uint16_t Port, uint32_t Value);

void CpuPause();

uintptr_t ReadIdtBase();
