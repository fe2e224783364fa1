#!/usr/bin/env python3
"""Host boots of the default board from Python against bench/boot_benchmark's (HostBoot/default):
1,000 boots each, in CPU time of the process, and their ratio (target: 1.5 at most). Run by hand,
never as a test:

    bench/python_boot_ratio.py build/release [--boots 1000]

The Python boots are boardsim.run(form="host") as a user calls it: the board keeps what the views
read, as the benchmark's does; run.trace, asked for, makes the boot again for the whole trace."""
import argparse
import json
import pathlib
import subprocess
import sys
import time


def python_seconds(boots):
    import boardsim
    boardsim.run(form="host")  # the first boot reads the board file into the page cache
    start = time.process_time()
    for _ in range(boots):
        run = boardsim.run(form="host")
        if run.status != "EFI_SUCCESS":
            sys.exit(f"python_boot_ratio: a boot returned {run.status}")
    return time.process_time() - start


def benchmark_seconds(build, boots):
    # Google Benchmark picks its own count; its CPU time a boot, times the boots asked for.
    done = subprocess.run(
        [str(build / "bench/boot_benchmark"), "--benchmark_filter=^HostBoot/default$",
         "--benchmark_format=json", "--benchmark_min_time=2"],
        capture_output=True, text=True, check=True)
    result, = json.loads(done.stdout)["benchmarks"]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[result["time_unit"]]
    return result["cpu_time"] * scale * boots, result["iterations"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=pathlib.Path)
    parser.add_argument("--boots", type=int, default=1000)
    options = parser.parse_args()
    sys.path.insert(0, str(options.build / "python"))
    bench, iterations = benchmark_seconds(options.build, options.boots)
    print(f"boot_benchmark HostBoot/default  {bench:7.3f} s for {options.boots} boots "
          f"(from {iterations} iterations)")
    seconds = python_seconds(options.boots)
    print(f"boardsim.run(form='host')         {seconds:7.3f} s for {options.boots} boots: "
          f"ratio {seconds / bench:.2f}")


if __name__ == "__main__":
    main()
