#include "common/Printable.h"
#include "tools/boardsim/cli/RunFlags.h"
#include "tools/boardsim/decode/DecodeCommand.h"

#include <CLI/CLI.hpp>

namespace boardsim {

namespace {

constexpr const char* DecodeFooter =
    "Shows what the trace alone determines: its accesses by kind, the PMIC bus (transactions,\n"
    "semaphore holds, sideband messages) and, for a trace of run, the PMIC selection and the\n"
    "board step, exactly as run shows them. Counts by device are left out: they need the\n"
    "board's decoders, which move while the module programs them.\n"
    "Sequence numbers and times must strictly increase; a device file is refused.\n"
    "Exit status: 0 done; 2 bad input (a trace line that does not parse or is out of order,\n"
    "named by its number); 3 an output could not be written.\n"
    "Reference: docs/decode.md";

// The words after "--": the trace, when CLI11 did not take it.
void TakeTrace(DecodeOptions& Options, const std::vector<std::string>& Tail) {
  if (!Tail.empty() && !Options.TracePath.empty()) {
    BadInput("unexpected argument '" + tools::Printable(Tail.front()) +
             "' (see boardsim decode --help)");
  }
  if (Tail.size() > 1) {
    BadInput("unexpected argument '" + tools::Printable(Tail[1]) +
             "' (see boardsim decode --help)");
  }
  if (!Tail.empty()) {
    Options.TracePath = Tail.front();
  }
  if (Options.TracePath.empty()) {
    BadInput("decode needs a trace file, or '-' for standard input");
  }
}

} // namespace

Subcommand AddDecodeCommand(CLI::App& Program, DecodeOptions& Options) {
  CLI::App* decode = Program.add_subcommand(
      "decode", "the views of a trace written earlier by --trace (of run or op)");
  decode->add_option("TRACE", Options.TracePath, "the trace file, or '-' for standard input")
      ->type_name("");
  CLI::Option* json =
      decode->add_flag("--json", Options.Json, "print the views as one JSON document");
  AddPageOptions(*decode, Options.HtmlPath);
  decode->add_flag("--all", Options.All,
                   "list every PMIC bus transaction: runs of three or more identical ones are "
                   "folded into one line otherwise");
  // --source prints the trace instead of the views: nothing else may ask for a view.
  CLI::Option* source =
      decode
          ->add_flag("--source", Options.Source,
                     "print the trace instead, each access line ending with its function and "
                     "file:line (the trace must carry instruction addresses: run --source)")
          ->excludes(json)
          ->excludes(decode->get_option("--html"))
          ->excludes(decode->get_option("--pads"))
          ->excludes(decode->get_option("--all"));
  decode
      ->add_option("--image", Options.ImagePath,
                   "the image that made the trace, for --source (default: the one the build "
                   "made, image/boardinit.efi)")
      ->type_name("FILE")
      ->needs(source);
  decode->footer(DecodeFooter);
  decode->allow_extras();
  return {decode, [&Options](const std::vector<std::string>& Tail, const PadList& Pads) {
            Options.Pads = Pads.Pads;
            Options.PadsChangedOnly = Pads.ChangedOnly;
            TakeTrace(Options, Tail);
          }};
}

} // namespace boardsim
