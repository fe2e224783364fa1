#include "tools/boardsim/shared/BusLines.h"

#include "sim/devices/Punit.h"
#include "tools/run/Hex.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace boardsim {

namespace {

using tools::Hex;

bool IsSemaphoreMessage(const sim::decode::SidebandMessage& M) {
  return M.Port == sim::PunitPort && M.Register == sim::PunitSemaphoreRegister;
}

uint64_t HoldStart(const sim::decode::SemaphoreHold& H) {
  return H.Requested ? H.RequestNs : H.AcquireNs;
}

std::string DescribeHold(const sim::decode::SemaphoreHold& H) {
  std::string line = Milliseconds(HoldStart(H)) + "  semaphore ";
  line += H.Requested ? "requested, " : "";
  line += H.Granted ? "granted at " + Milliseconds(H.AcquireNs) : "never granted";
  if (H.Granted) {
    line += H.Released ? ", released at " + Milliseconds(H.ReleaseNs) : ", still held";
  }
  return line;
}

std::string DescribeMessage(const sim::decode::SidebandMessage& M) {
  return Milliseconds(M.TimeNs) + "  sideband " + (M.IsWrite() ? "write" : "read ") + " port " +
         Hex(M.Port, 2) + " reg " + Hex(M.Register, 2) + (M.IsWrite() ? " <- " : " -> ") +
         (M.HasValue ? Hex(M.Value, 8) : std::string("--"));
}

template <typename T, typename Keep>
std::vector<T> Filtered(const std::vector<T>& Items, Keep Predicate) {
  std::vector<T> kept;
  std::copy_if(Items.begin(), Items.end(), std::back_inserter(kept), Predicate);
  return kept;
}

} // namespace

bool UnderSemaphore(const sim::decode::BusActivity& Bus, uint64_t Time) {
  for (const sim::decode::SemaphoreHold& hold : Bus.Holds) {
    if (hold.Granted && hold.AcquireNs <= Time && (!hold.Released || Time < hold.ReleaseNs)) {
      return true;
    }
  }
  return false;
}

std::string Milliseconds(uint64_t Ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu ms", static_cast<unsigned long long>(Ns / 1000000),
                static_cast<unsigned long long>(Ns / 1000 % 1000));
  return text;
}

std::vector<std::string> DescribeTransactions(const sim::decode::BusActivity& Bus) {
  std::vector<std::string> lines;
  for (const sim::decode::I2cTransaction& t : Bus.I2c) {
    std::string line =
        Milliseconds(t.TimeNs) + "  " + (t.Read ? "read  " : "write ") + Hex(t.Device, 2) +
        " reg " + (t.HasRegister ? Hex(t.Register, 2) : std::string("--")) +
        (t.Read ? " -> " : " <- ") + (t.HasValue ? Hex(t.Value, 2) : std::string("--"));
    if (t.Aborted) {
      line += "  aborted (no acknowledge)";
    }
    if (UnderSemaphore(Bus, t.TimeNs)) {
      line += "  under semaphore";
    }
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> DescribeBusActivity(const sim::decode::BusActivity& Bus) {
  std::vector<std::pair<uint64_t, std::string>> timed;
  const std::vector<std::string> transactions = DescribeTransactions(Bus);
  for (size_t i = 0; i < Bus.I2c.size(); ++i) {
    timed.emplace_back(Bus.I2c[i].TimeNs, transactions[i]);
  }
  for (const sim::decode::SemaphoreHold& hold : Bus.Holds) {
    timed.emplace_back(HoldStart(hold), DescribeHold(hold));
  }
  for (const sim::decode::SidebandMessage& message : Bus.Sideband) {
    if (!IsSemaphoreMessage(message)) {
      timed.emplace_back(message.TimeNs, DescribeMessage(message));
    }
  }
  std::stable_sort(timed.begin(), timed.end(),
                   [](const auto& A, const auto& B) { return A.first < B.first; });
  std::vector<std::string> lines;
  for (auto& [time, line] : timed) {
    lines.push_back(std::move(line));
  }
  return lines;
}

sim::decode::BusActivity BusActivityBetween(const sim::decode::BusActivity& Bus, uint64_t FromNs,
                                            uint64_t ToNs) {
  auto within = [&](uint64_t Time) { return Time >= FromNs && Time < ToNs; };
  return {Filtered(Bus.I2c, [&](const auto& T) { return within(T.TimeNs); }),
          Filtered(Bus.Sideband, [&](const auto& M) { return within(M.TimeNs); }),
          Filtered(Bus.Holds, [&](const auto& H) { return within(HoldStart(H)); })};
}

std::string CountBusActivity(const sim::decode::BusActivity& Bus) {
  auto counted = [](size_t Count, const char* One, const char* Many) {
    return std::to_string(Count) + " " + (Count == 1 ? One : Many);
  };
  return counted(Bus.I2c.size(), "transaction", "transactions") + ", " +
         counted(Bus.Holds.size(), "semaphore hold", "semaphore holds") + ", " +
         counted(Bus.Sideband.size(), "sideband message", "sideband messages");
}

} // namespace boardsim
