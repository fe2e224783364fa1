#include "i2c/PmicBusSemaphore.h"
#include "i2c/Sideband.h"
#include "platform/Delay.h"

namespace {
// P-Unit register 7: the semaphore.
constexpr uint8_t PmicBusSemaphore = 7;
constexpr uint32_t SemaphoreGrant = 1u << 0;                       // the host holds the bus
constexpr uint32_t SemaphoreRequest = 1u << 1;                     // the host asks for it
constexpr uint32_t SemaphoreArbitration = PmicBusSemaphoreResting; // clear: nobody arbitrates

// Waits of SemaphorePollIntervalUs before giving up, about 300 ms; the grant is polled after
// every wait but the last.
constexpr uint32_t SemaphoreWaitLimit = 30000;
constexpr uint32_t SemaphorePollIntervalUs = 10;

void Remember(PmicBusHold& Hold, uint32_t Reading) {
  if (Reading != SidebandNoAnswer) {
    Hold.Known = Reading;
  }
}
} // namespace

EFI_STATUS AcquirePmicBus(PmicBusHold& Hold) {
  Hold.Known = PmicBusSemaphoreResting;
  const uint32_t semaphore = SidebandRead(SidebandPortPunit, PmicBusSemaphore);
  Remember(Hold, semaphore);
  if ((semaphore & SemaphoreArbitration) == 0 || (semaphore & SemaphoreGrant) != 0) {
    return EFI_SUCCESS;
  }

  // The request is a read-modify-write of its own, on a fresh read of the register; one that
  // gets no answer writes nothing (every bit would go back set, the grant among them).
  Remember(Hold, SidebandUpdate(SidebandPortPunit, PmicBusSemaphore, 0, SemaphoreRequest));
  for (uint32_t waitsLeft = SemaphoreWaitLimit;;) {
    DelayMicroseconds(SemaphorePollIntervalUs);
    if (--waitsLeft == 0) {
      break;
    }
    if (SidebandReadLowByte(SidebandPortPunit, PmicBusSemaphore) & SemaphoreGrant) {
      return EFI_SUCCESS;
    }
  }

  // Give up through the ordinary release, which drops a grant that came after the last poll but
  // leaves the request bit as read: the request is not withdrawn. Then read the register once
  // more; that read's value is not used.
  ReleasePmicBus(Hold);
  (void)SidebandRead(SidebandPortPunit, PmicBusSemaphore);
  return EFI_TIMEOUT;
}

void ReleasePmicBus(const PmicBusHold& Hold) {
  // Only the grant is cleared; the request bit is written back as read. A read that got no answer
  // gives no other bit: those come from what the hold knows, the request bit still from the read.
  const uint32_t semaphore = SidebandRead(SidebandPortPunit, PmicBusSemaphore);
  const uint32_t known = semaphore != SidebandNoAnswer
                             ? semaphore
                             : (Hold.Known & ~SemaphoreRequest) | (semaphore & SemaphoreRequest);
  SidebandWrite(SidebandPortPunit, PmicBusSemaphore, known & ~SemaphoreGrant);
}
