"""boardsim from Python: boots, PMIC slot calls and sweeps of the module on simulated boards, in
this process, over the code the command line runs (docs/python.md)."""
import collections.abc as _abc

from boardsim._boardsim import (Access, Board, BoardError, Call, Checked, Error, ExpectError,
                                Fault, FaultError, ImageError, Pad, PadAccess, PadError,
                                PadFields, PadMap, PadRegisters, Result, Run, SlotError, Step,
                                Sweep, SweepError, SweepFailure, TableRow, Trace, Transaction,
                                UsageError, Verdict, boards, check, op, run, sweep, where)

# run.pads is a read-only mapping: the mixin methods of one, over the module's own lookups.
for _name in ("get", "items", "values", "__eq__"):
    setattr(PadMap, _name, getattr(_abc.Mapping, _name))
_abc.Mapping.register(PadMap)


class ExpectationFailed(AssertionError):
    """Some expectations of a file were not met: the message has a line for each, expected
    against actual, as --expect prints them."""

    def __init__(self, expectations, checked):
        unmet = [v for v in checked.verdicts if v.state == "unmet"]
        self.verdicts = checked.verdicts
        self.lines = checked.lines
        super().__init__(f"{len(unmet)} of {len(checked.verdicts)} expectations unmet "
                         f"({expectations})\n" + "\n".join(checked.lines))


def expect(result, expectations):
    """Checks an expectation file (docs/expect.md) against a Run or a Call, as --expect checks
    it; raises ExpectationFailed when any expectation is unmet, else returns the verdicts."""
    checked = check(result, expectations)
    if not checked.met:
        raise ExpectationFailed(expectations, checked)
    return checked.verdicts
