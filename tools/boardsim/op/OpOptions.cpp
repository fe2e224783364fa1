#include "common/Printable.h"
#include "tools/boardsim/cli/RunFlags.h"
#include "tools/boardsim/op/OpCommand.h"
#include "tools/boardsim/op/SlotArguments.h"

#include <CLI/CLI.hpp>

#include <memory>

namespace boardsim {

namespace {

constexpr const char* OpFooter =
    "Calls GetActivePmic, then one slot of the descriptor it returns, as the firmware modules\n"
    "that use the PMIC library do; shows why that descriptor was chosen, what the slot returned\n"
    "and stored, and the PMIC bus traffic it caused. A board whose ACPI I/O window is closed gets\n"
    "it opened at 0x400 before the call, as the module's entry leaves it: the library's waits\n"
    "read the PM timer behind it.\n"
    "Exit status: 0 the slot returned; 1 the slot is not offered, or the call did not return;\n"
    "2 bad input; 3 an output could not be written.\n"
    "Reference: docs/op.md";

OpOptions CheckOp(OpOptions Options, const std::vector<std::string>& Words) {
  if (Options.List) {
    if (!Words.empty()) {
      BadInput("--list takes no slot, got '" + tools::Printable(Words[0]) + "'");
    }
    return Options;
  }
  if (Words.empty()) {
    BadInput("op needs a slot name (boardsim op --list shows the 25 slots)");
  }
  if (IsFaultPoint(Words[0])) {
    BadInput(Unexpected(Words[0], "op"));
  }
  Options.Slot = ParseSlot(Words[0], {Words.begin() + 1, Words.end()});
  return Options;
}

} // namespace

Subcommand AddOpCommand(CLI::App& Program, OpOptions& Options) {
  CLI::App* op = Program.add_subcommand("op", "one PMIC slot, called as the firmware modules that "
                                              "use the library call it");
  AddRunOptions(*op, Options.Run);
  op->add_option("--map", Options.Run.MapPath,
                 "the image's linker map, where the slot call finds GetActivePmic (default: the "
                 "image's path with .map)")
      ->type_name("FILE");
  op->add_flag("--list", Options.List,
               "the 25 slots with their C signatures, and whether the board's PMIC descriptor "
               "fills each one");
  // The slot words CLI11 takes; those after "--" come in the tail.
  auto words = std::make_shared<std::vector<std::string>>();
  op->add_option("SLOT", *words,
                 "a slot name, then its UINT8 arguments (0-255, decimal or 0x hex); the tool "
                 "passes the pointers and shows what the slot stored there. GetStatus1-3 take "
                 "'null' for their Status pointer")
      ->type_name("");
  op->footer(OpFooter);
  op->allow_extras();
  return {op, [&Options, words](const std::vector<std::string>& Tail, const PadList& Pads) {
            Options.Run.Pads = Pads.Pads;
            Options.Run.PadsChangedOnly = Pads.ChangedOnly;
            words->insert(words->end(), Tail.begin(), Tail.end());
            Options = CheckOp(Options, *words);
          }};
}

} // namespace boardsim
