"""What the tool tests share: one line per check, the failed ones kept, one exit status at the end,
and a run of a program whose exit status is itself a check."""
import subprocess
import sys

failures = []


def check(what, condition):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)
    return condition


def run(program, *args, status=0, stdin=None):
    done = subprocess.run([program, *args], capture_output=True, text=True, input=stdin)
    check(f"{' '.join(args)}: exit {done.returncode}, expected {status} {done.stderr[-200:]!r}",
          done.returncode == status)
    return done


def finish():
    print(f"{len(failures)} failed" if failures else "all passed")
    sys.exit(1 if failures else 0)
