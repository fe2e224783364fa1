#include "tools/boardsim/render/BusLines.h"

#include "common/Format.h"
#include "sim/devices/Punit.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

namespace boardsim {

namespace {

using tools::Hex;

bool IsSemaphoreMessage(const sim::decode::SidebandMessage& M) {
  return M.Port == sim::PunitPort && M.Register == sim::PunitSemaphoreRegister;
}

std::string DescribeHold(const sim::decode::SemaphoreHold& H) {
  std::string line = tools::Milliseconds(HoldStart(H)) + "  semaphore ";
  line += H.Requested ? "requested, " : "";
  line += H.Granted ? "granted at " + tools::Milliseconds(H.AcquireNs) : "never granted";
  if (H.Granted) {
    line += H.Released ? ", released at " + tools::Milliseconds(H.ReleaseNs) : ", still held";
  }
  return line;
}

std::string DescribeMessage(const sim::decode::SidebandMessage& M) {
  return tools::Milliseconds(M.TimeNs) + "  sideband " + (M.IsWrite() ? "write" : "read ") +
         " port " + Hex(M.Port, 2) + " reg " + Hex(M.Register, 2) +
         (M.IsWrite() ? " <- " : " -> ") + (M.HasValue ? Hex(M.Value, 8) : std::string("--"));
}

} // namespace

namespace {

// A line, or the lines that fold together with others like it: a transaction, alone or with the
// hold it has to itself. Same is what identical units share (empty: never folds); Folded is what
// a folded line says after the count.
struct Unit {
  uint64_t TimeNs = 0; // the transaction's, for the folded line's range
  std::vector<std::string> Lines;
  std::string Same;
  std::string Folded;
};

// The transaction's line from after its time on, and what it shares with identical ones.
std::pair<std::string, std::string> TransactionText(const sim::decode::BusActivity& Bus,
                                                    const sim::decode::I2cTransaction& T,
                                                    const BusListing& Listing) {
  std::string text = std::string(T.Read ? "read  " : "write ") + Hex(T.Device, 2) + " reg " +
                     (T.HasRegister ? Hex(T.Register, 2) : std::string("--")) +
                     (T.Read ? " -> " : " <- ") +
                     (T.HasValue ? Hex(T.Value, 2) : std::string("--"));
  if (T.Aborted) {
    text += "  aborted (no acknowledge)";
  }
  const sim::decode::SemaphoreHold* hold = HoldOf(Bus, T.TimeNs);
  if (hold == nullptr) {
    return {text, text};
  }
  text += "  under semaphore";
  if (!ReleasedOnTheWire(*hold, Listing.Wire, T.TimeNs)) {
    return {text, text};
  }
  const std::string same = text + ", released before its stop";
  return {text + ", released at " + tools::Milliseconds(hold->ReleaseNs) + " before its stop at " +
              tools::Milliseconds(Listing.Wire.at(T.TimeNs)),
          same};
}

Unit TransactionUnit(const sim::decode::BusActivity& Bus, const sim::decode::I2cTransaction& T,
                     const BusListing& Listing) {
  const auto [text, same] = TransactionText(Bus, T, Listing);
  return {T.TimeNs, {tools::Milliseconds(T.TimeNs) + "  " + text}, same, same};
}

// "0.229-64.940 ms"
std::string Range(uint64_t FromNs, uint64_t ToNs) {
  const std::string from = tools::Milliseconds(FromNs);
  return from.substr(0, from.size() - 3) + "-" + tools::Milliseconds(ToNs);
}

constexpr size_t FoldFrom = 3;

std::vector<std::string> Fold(const std::vector<Unit>& Units, bool All) {
  std::vector<std::string> lines;
  for (size_t first = 0; first < Units.size();) {
    size_t end = first + 1;
    while (end < Units.size() && !Units[first].Same.empty() &&
           Units[end].Same == Units[first].Same) {
      ++end;
    }
    if (All || end - first < FoldFrom) {
      for (size_t i = first; i < end; ++i) {
        lines.insert(lines.end(), Units[i].Lines.begin(), Units[i].Lines.end());
      }
    } else {
      lines.push_back(Range(Units[first].TimeNs, Units[end - 1].TimeNs) + "  " +
                      std::to_string(end - first) + " x " + Units[first].Folded);
    }
    first = end;
  }
  return lines;
}

} // namespace

std::vector<std::string> DescribeTransactions(const sim::decode::BusActivity& Bus,
                                              const BusListing& Listing) {
  std::vector<Unit> units;
  for (const sim::decode::I2cTransaction& t : Bus.I2c) {
    units.push_back(TransactionUnit(Bus, t, Listing));
  }
  return Fold(units, Listing.All);
}

std::vector<std::string> DescribeBusActivity(const sim::decode::BusActivity& Bus,
                                             const BusListing& Listing) {
  // Every item by its time; a transaction follows the hold it started under.
  struct Item {
    uint64_t TimeNs;
    const sim::decode::I2cTransaction* Transaction;
    const sim::decode::SemaphoreHold* Hold;
    std::string Line; // a sideband message
  };
  std::vector<Item> items;
  for (const sim::decode::I2cTransaction& t : Bus.I2c) {
    items.push_back({t.TimeNs, &t, nullptr, {}});
  }
  for (const sim::decode::SemaphoreHold& hold : Bus.Holds) {
    items.push_back({HoldStart(hold), nullptr, &hold, {}});
  }
  for (const sim::decode::SidebandMessage& message : Bus.Sideband) {
    if (!IsSemaphoreMessage(message)) {
      items.push_back({message.TimeNs, nullptr, nullptr, DescribeMessage(message)});
    }
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const Item& A, const Item& B) { return A.TimeNs < B.TimeNs; });

  // A hold followed by the one transaction it covers is one unit with it.
  const auto ownTransaction = [&](size_t Hold) {
    if (Hold + 1 == items.size() || items[Hold + 1].Transaction == nullptr ||
        HoldOf(Bus, items[Hold + 1].TimeNs) != items[Hold].Hold) {
      return false;
    }
    for (size_t next = Hold + 2; next < items.size(); ++next) {
      if (items[next].Transaction != nullptr) {
        return HoldOf(Bus, items[next].TimeNs) != items[Hold].Hold;
      }
    }
    return true;
  };
  std::vector<Unit> units;
  for (size_t i = 0; i < items.size(); ++i) {
    const Item& item = items[i];
    if (item.Transaction != nullptr) {
      units.push_back(TransactionUnit(Bus, *item.Transaction, Listing));
    } else if (item.Hold == nullptr) {
      units.push_back({item.TimeNs, {item.Line}, {}, {}});
    } else if (ownTransaction(i)) {
      Unit unit = TransactionUnit(Bus, *items[i + 1].Transaction, Listing);
      unit.Lines.insert(unit.Lines.begin(), DescribeHold(*item.Hold));
      const std::string shape = std::string(item.Hold->Requested ? "requested" : "") +
                                (item.Hold->Released ? "released" : "");
      unit.Same = shape + ": " + unit.Same;
      unit.Folded += ", each in a semaphore hold of its own";
      units.push_back(std::move(unit));
      ++i;
    } else {
      units.push_back({item.TimeNs, {DescribeHold(*item.Hold)}, {}, {}});
    }
  }
  return Fold(units, Listing.All);
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
