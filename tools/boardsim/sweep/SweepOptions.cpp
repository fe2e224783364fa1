#include "tools/boardsim/sweep/SweepOptions.h"

#include <CLI/CLI.hpp>

namespace boardsim {

namespace {
constexpr const char* SweepFooter =
    "Runs each board's boot and each filled PMIC slot without a fault, as the reference, then\n"
    "once per fault point that reference reached: every byte it moved, every transfer to each\n"
    "device, every pad register it read (all ones for its first 1 to 6 reads), the first and last\n"
    "read of every PM-timer wait, and each whole-run fault. A point fails when the run did not\n"
    "return, crashed, or made a write the reference does not make (the PMIC bus controller\n"
    "switched off and on after a wait gave up is the one recovery allowed), above all one built\n"
    "on a read that failed. Each failure is printed with the command that reproduces it alone.\n"
    "Slots are called as boardsim op calls them, with 0 for every UINT8 argument.\n"
    "Spread over machines: --shard K/N on each, then --merge of their --json documents gives\n"
    "what the whole sweep gives (docs/scaling.md).\n"
    "Exit status: 0 no point failed; 1 some did; 2 bad input.\n"
    "Reference: docs/sweep.md";

// Which points: the boards, the runs, the kinds and the sample.
void AddPointChoices(CLI::App& Sweep, SweepOptions& Options) {
  Sweep
      .add_option("--board", Options.Boards,
                  "a board from the boards folder, or a JSON file; may be repeated, each board "
                  "is swept once (default: every built-in board)")
      ->type_name("NAME|FILE");
  CLI::Option* op =
      Sweep
          .add_option("--op", Options.Slots,
                      "sweep this slot (may be repeated, each is swept once) and no boot "
                      "(default: the boot and every slot the board's descriptor fills); a slot the "
                      "board does not offer is named as not swept")
          ->type_name("SLOT");
  Sweep.add_flag("--boots-only,--no-ops", Options.BootsOnly, "sweep the boots and no slot call")
      ->excludes(op);
  Sweep
      .add_option("--kinds", Options.Kinds,
                  "only these fault kinds, comma-separated (default: all; the table names them)")
      ->delimiter(',')
      ->type_name("KIND,...");
  CLI::Option* sample =
      Sweep
          .add_option("--sample", Options.Sample,
                      "about N points, spread evenly over each kind, at least one per kind "
                      "(default: every point)")
          ->type_name("N")
          ->check(CLI::Range(size_t{1}, size_t{1} << 30));
  Sweep
      .add_option("--seed", Options.Seed,
                  "which points --sample draws: the same on every machine for the same seed, "
                  "another draw for another (default: 0, the first point of each stretch)")
      ->type_name("S")
      ->needs(sample);
}

// How the module runs: the host build or an image, and how the points are spread.
void AddForms(CLI::App& Sweep, SweepOptions& Options) {
  Sweep.add_option("--jobs", Options.Jobs, "runs at once (default: the core count)")
      ->type_name("N")
      ->check(CLI::Range(1u, 256u));
  CLI::Option* host =
      Sweep.add_flag("--host", Options.Host, "run the host-linked module instead of the image");
  Sweep
      .add_option("--image", Options.ImagePath,
                  "run the image (the default), or this one (any form the module ships in)")
      ->type_name("[FILE]")
      ->expected(0, 1)
      ->excludes(host);
  Sweep
      .add_flag("--from-reset", Options.FromReset,
                "run each point of the image from reset on a new CPU, as sweeps did before "
                "checkpoints (the same outcomes, slower)")
      ->excludes(host);
  Sweep
      .add_option("--map", Options.MapPath,
                  "the image's linker map, where the slot calls find GetActivePmic (default: the "
                  "image's path with .map)")
      ->type_name("FILE")
      ->excludes(host);
  Sweep
      .add_option("--shard", Options.Shard,
                  "run only the K-th of N disjoint parts of the points, balanced by expected "
                  "cost; --merge puts the parts' --json documents together")
      ->type_name("K/N");
}

void AddOutputs(CLI::App& Sweep, SweepOptions& Options) {
  Sweep.add_flag("--json", Options.Json, "print the result as one JSON document");
  Sweep
      .add_option("--html", Options.HtmlPath,
                  "write the result as one page a browser shows, self-contained (the matrix of "
                  "fault kinds against targets, every failure with its command), or to standard "
                  "output with '-'")
      ->type_name("FILE|-");
  CLI::Option* junit =
      Sweep
          .add_option("--junit", Options.JunitPath,
                      "write the result as JUnit XML: each target's reference run and each fault "
                      "kind there a test case, the failed points with their commands as failures")
          ->type_name("FILE");
  Sweep
      .add_flag("--list-points", Options.ListPoints,
                "only list each target's fault points (after its fault-free run), one per line, "
                "ready for run's and op's --fault")
      ->excludes(junit);
  CLI::Option* merge =
      Sweep
          .add_option("--merge", Options.Merge,
                      "run nothing: merge the --json documents of every shard of one sweep into "
                      "what the whole sweep prints (its text, --json or --html)")
          ->type_name("FILE...");
  // A merge takes its points and outcomes from the shards: nothing that chooses or runs them.
  for (const char* name :
       {"--board", "--op", "--boots-only", "--kinds", "--sample", "--seed", "--jobs", "--host",
        "--image", "--from-reset", "--map", "--shard", "--list-points"}) {
    merge->excludes(Sweep.get_option(name));
  }
}

} // namespace

Subcommand AddSweepCommand(CLI::App& Program, SweepOptions& Options) {
  CLI::App* sweep =
      Program.add_subcommand("sweep", "every fault at every point of each board's boot and PMIC "
                                      "slot calls, against a fault-free reference run");
  AddPointChoices(*sweep, Options);
  AddForms(*sweep, Options);
  AddOutputs(*sweep, Options);
  sweep->footer(SweepFooter);
  sweep->allow_extras();
  // Sweep takes no words: one after "--" is refused as any other would be.
  return {sweep,
          [](const std::vector<std::string>& Tail, const PadList&) { RefuseTail(Tail, "sweep"); }};
}

} // namespace boardsim
