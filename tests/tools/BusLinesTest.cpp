#include "tools/boardsim/render/BusLines.h"

#include <gtest/gtest.h>

namespace {

using sim::decode::I2cTransaction;
using sim::decode::SemaphoreHold;

I2cTransaction Poll(uint64_t TimeNs) {
  return {.TimeNs = TimeNs,
          .Device = 0x5E,
          .Read = true,
          .HasRegister = true,
          .Register = 0x50,
          .HasValue = true,
          .Value = 0xA1,
          .Stopped = true};
}

SemaphoreHold HoldAround(uint64_t TimeNs) {
  return {.Requested = true,
          .RequestNs = TimeNs - 2000,
          .Granted = true,
          .AcquireNs = TimeNs - 1000,
          .Released = true,
          .ReleaseNs = TimeNs + 1000};
}

// A write that starts a conversion, its hold released while the write is still on the wire, then
// polls each in a hold of their own, and one poll more under the last hold.
sim::decode::BusActivity Conversion(size_t Polls) {
  sim::decode::BusActivity bus;
  bus.I2c.push_back({.TimeNs = 10'000,
                     .Device = 0x5E,
                     .HasRegister = true,
                     .Register = 0x50,
                     .HasValue = true,
                     .Value = 0xA1,
                     .Stopped = true});
  bus.Holds.push_back(HoldAround(10'000));
  for (size_t i = 1; i <= Polls; ++i) {
    bus.I2c.push_back(Poll(10'000 + i * 100'000));
    bus.Holds.push_back(HoldAround(10'000 + i * 100'000));
  }
  bus.Holds.back().ReleaseNs += 50'000;
  bus.I2c.push_back(Poll(10'000 + Polls * 100'000 + 20'000));
  return bus;
}

// Runs of three or more identical transactions, alone or each with a hold of its own, fold into
// one line; --all shows them all. A hold released before its transaction's stop says so.
TEST(BusLines, IdenticalTransactionsFoldAndEarlyReleasesAreNamed) {
  const std::string write = "0.010 ms  write 0x5E reg 0x50 <- 0xA1  under semaphore, released at "
                            "0.011 ms before its stop at 0.077 ms";
  const std::string poll = "read  0x5E reg 0x50 -> 0xA1  under semaphore";
  const boardsim::WireEnds wire = {{10'000, 77'500}};
  const struct {
    size_t Polls;
    bool All;
    std::vector<std::string> Lines;
  } cases[] = {
      {4,
       false,
       {"0.008 ms  semaphore requested, granted at 0.009 ms, released at 0.011 ms", write,
        "0.110-0.310 ms  3 x " + poll + ", each in a semaphore hold of its own",
        "0.408 ms  semaphore requested, granted at 0.409 ms, released at 0.461 ms",
        "0.410 ms  " + poll, "0.430 ms  " + poll}},
      {3,
       false,
       {"0.008 ms  semaphore requested, granted at 0.009 ms, released at 0.011 ms", write,
        "0.108 ms  semaphore requested, granted at 0.109 ms, released at 0.111 ms",
        "0.110 ms  " + poll,
        "0.208 ms  semaphore requested, granted at 0.209 ms, released at 0.211 ms",
        "0.210 ms  " + poll,
        "0.308 ms  semaphore requested, granted at 0.309 ms, released at 0.361 ms",
        "0.310 ms  " + poll, "0.330 ms  " + poll}},
      {4,
       true,
       {"0.008 ms  semaphore requested, granted at 0.009 ms, released at 0.011 ms", write,
        "0.108 ms  semaphore requested, granted at 0.109 ms, released at 0.111 ms",
        "0.110 ms  " + poll,
        "0.208 ms  semaphore requested, granted at 0.209 ms, released at 0.211 ms",
        "0.210 ms  " + poll,
        "0.308 ms  semaphore requested, granted at 0.309 ms, released at 0.311 ms",
        "0.310 ms  " + poll,
        "0.408 ms  semaphore requested, granted at 0.409 ms, released at 0.461 ms",
        "0.410 ms  " + poll, "0.430 ms  " + poll}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Polls) + (c.All ? " polls, all" : " polls"));
    EXPECT_EQ(boardsim::DescribeBusActivity(Conversion(c.Polls), {wire, c.All}), c.Lines);
  }
  // Without holds in between, the transactions alone fold the same way.
  EXPECT_EQ(boardsim::DescribeTransactions(Conversion(3), {wire, false}),
            (std::vector<std::string>{write, "0.110-0.330 ms  4 x " + poll}));
}

} // namespace
