#include "tools/boardsim/cli/RunFlags.h"

#include <CLI/CLI.hpp>

namespace boardsim {

void AddPageOptions(CLI::App& Command, std::optional<std::string>& HtmlPath) {
  Command
      .add_option("--html", HtmlPath,
                  "write the run as one page a browser shows, self-contained (a timeline, the pad "
                  "map and the tables), or to standard output with '-'")
      ->type_name("FILE|-");
  Command.add_flag("--pads")
      ->description("show what the run did to these pads (COMMUNITY:PAD, such as 0x0000:93), or "
                    "to every pad it accessed: registers, fields before and after, accesses, "
                    "table row; 'changed' first keeps only the pads the run changed")
      ->type_name("[changed] [COMMUNITY:PAD ...]");
}

void AddRunOptions(CLI::App& Command, RunOptions& Options) {
  Command
      .add_option("--board", Options.Board,
                  "a board from the boards folder (default: default), or a JSON file")
      ->type_name("NAME|FILE");
  CLI::Option* trace =
      Command
          .add_option("--trace", Options.TracePath,
                      "write the access trace to FILE, or to standard output with '-' (the "
                      "summary then goes to standard error)")
          ->type_name("FILE|-");
  CLI::Option* host =
      Command.add_flag("--host", Options.Host, "run the host-linked module instead of the image");
  Command
      .add_option(
          "--image", Options.ImagePath,
          "run this image (PE32, TE, FFS file or firmware volume) instead of the one the build "
          "made (image/boardinit.efi)")
      ->type_name("FILE")
      ->excludes(host);
  Command.add_flag("--json", Options.Json, "print the summary as one JSON document");
  Command.add_flag("--all", Options.All,
                   "list every PMIC bus transaction: runs of three or more identical ones are "
                   "folded into one line otherwise (JSON always has them all)");
  Command
      .add_option("--vcd", Options.VcdPath,
                  "write the waveform of the PMIC bus and the pads the module drives (VCD), or to "
                  "standard output with '-'")
      ->type_name("FILE|-");
  CLI::Option* gdb =
      Command
          .add_option("--gdb", Options.Gdb,
                      "stop the image before its first instruction and wait for GDB on "
                      "[HOST:]PORT (host 127.0.0.1 unless given; port 0 picks a free one)")
          ->type_name("[HOST:]PORT")
          ->excludes(host);
  Command
      .add_option("--checkpoint-every", Options.CheckpointEvery,
                  "with --gdb: keep a checkpoint every N accesses, to go back from (default 1000)")
      ->type_name("N")
      ->check(CLI::Range(uint64_t{1}, uint64_t{1} << 32))
      ->needs(gdb);
  Command
      .add_option("--checkpoint-memory", Options.CheckpointMemoryMiB,
                  "with --gdb: at most MIB MiB of checkpoints, the oldest let go first; 0 keeps "
                  "none and GDB cannot go back (default 256)")
      ->type_name("MIB")
      ->check(CLI::Range(uint64_t{0}, uint64_t{1} << 20))
      ->needs(gdb);
  Command
      .add_option("--fault", Options.Faults,
                  "put a fault into the board (KIND[:WHERE][@WHEN]; boardsim sweep --list-points "
                  "lists a run's points, and an unknown kind is answered with the kinds); one "
                  "point each, given again for more")
      ->type_name("POINT")
      ->allow_extra_args(false);
  Command
      .add_flag("--source", Options.Source,
                "end each access line of the trace with its instruction address, function and "
                "file:line (from the image's debug twin)")
      ->needs(trace)
      ->excludes(host);
  CLI::Option* expect =
      Command
          .add_option("--expect", Options.ExpectPath,
                      "check the run against FILE, a JSON file of what it must show (status or "
                      "returned value, pads, PMIC transactions and registers, faults, time and "
                      "stack): exit 1 and one line per unmet expectation")
          ->type_name("FILE");
  Command
      .add_option("--junit", Options.JunitPath,
                  "with --expect: write the verdicts as JUnit XML, each expectation a test case")
      ->type_name("FILE")
      ->needs(expect);
  AddPageOptions(Command, Options.HtmlPath);
}

} // namespace boardsim
