# Types of the package boardsim (docs/python.md).
import os
from typing import Iterator, Mapping, Optional, Sequence, Union

BoardLike = Union[str, os.PathLike[str], "Board"]
Strings = Union[str, Sequence[str]]

class Error(Exception):
    exit_status: int
class BoardError(Error): ...
class FaultError(Error): ...
class ImageError(Error): ...
class SlotError(Error): ...
class PadError(Error): ...
class ExpectError(Error): ...
class SweepError(Error): ...
class UsageError(Error, ValueError): ...
class ExpectationFailed(AssertionError):
    verdicts: list[Verdict]
    lines: list[str]

class Board:
    @staticmethod
    def load(path_or_name: Union[str, os.PathLike[str]]) -> Board: ...
    name: str
    path: str
    description: str
    faults: dict[str, str]
    def __fspath__(self) -> str: ...

class Access:
    seq: int
    time_ns: int
    op: str
    width: int
    address: int
    value: int

class Trace:
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[Access]: ...
    def __getitem__(self, index: int) -> Access: ...

class Transaction:
    time_ns: int
    address: int
    ten_bit: bool
    read: bool
    register: Optional[int]
    value: Optional[int]
    stopped: bool
    aborted: bool
    first_seq: int
    last_seq: int
    end_ns: int

class Fault:
    fault: str
    value: Optional[str]
    from_board: bool
    struck: bool
    access: Optional[int]
    time_ns: Optional[int]
    where: str

class Step:
    kind: str
    time_ns: int
    device: int
    register: int
    value: Optional[int]
    community: int
    pad: int
    high: bool
    seq: int

class PadFields:
    mode: int
    gpio: bool
    direction: int
    level: str
    pull_bits: int
    pull: Optional[int]
    nibble: int

class PadRegisters:
    config: Optional[int]
    value: Optional[int]
    fields: Optional[PadFields]

class TableRow:
    row: int
    direction: int
    output_level: int
    mode: int
    nibble: int
    pull: int

class PadAccess:
    access: Access
    part: str
    row: Optional[int]

class Pad:
    name: str
    community: int
    number: int
    table: str
    before: PadRegisters
    after: PadRegisters
    changed: bool
    row: Optional[TableRow]
    accesses: list[PadAccess]

class PadMap(Mapping[str, Pad]):
    def __getitem__(self, name: str) -> Pad: ...
    def __iter__(self) -> Iterator[str]: ...
    def __len__(self) -> int: ...

class Result:
    board: str
    board_path: str
    form: str
    accesses: int
    time_ns: int
    stack_bytes: Optional[int]
    stack_size: int
    failure: Optional[str]
    faults: list[Fault]
    transactions: list[Transaction]
    pads: PadMap
    trace: Trace
    def to_json(self) -> str: ...

class Run(Result):
    status: Optional[str]
    status_value: Optional[int]
    module: str
    board_step: list[Step]
    pmic: str

class Call(Result):
    slot: str
    returned: Optional[int]
    returned_text: Optional[str]
    status: Optional[str]
    stored: list[int]
    called: bool
    variant: Optional[int]

class Verdict:
    name: str
    expected: str
    actual: str
    state: str

class Checked:
    verdicts: list[Verdict]
    lines: list[str]
    met: bool

class SweepFailure:
    target: str
    fault: str
    outcome: str
    detail: str
    reproduce: str

class Sweep:
    module: str
    points: int
    passed: int
    failed: int
    no_effect: int
    kinds: dict[str, dict[str, int]]
    failures: list[SweepFailure]
    seconds: float
    def to_json(self) -> str: ...

def run(board: BoardLike = "default", faults: Strings = (), form: str = "image",
        image: Optional[Union[str, os.PathLike[str]]] = None, pads: Optional[Strings] = None) -> Run: ...
def op(board: BoardLike, slot: str, *args: Optional[int], faults: Strings = (),
       form: str = "image", image: Optional[Union[str, os.PathLike[str]]] = None,
       pads: Optional[Strings] = None) -> Call: ...
def sweep(*, boards: Optional[Union[BoardLike, Sequence[BoardLike]]] = None,
          ops: Optional[Strings] = None, kinds: Optional[Strings] = None,
          sample: Optional[int] = None, seed: Optional[int] = None,
          shard: Optional[str] = None, boots_only: bool = False, form: str = "image",
          jobs: Optional[int] = None) -> Sweep: ...
def boards() -> list[Board]: ...
def where() -> tuple[str, str]: ...
def check(result: Result, expectations: Union[str, os.PathLike[str]]) -> Checked: ...
def expect(result: Result, expectations: Union[str, os.PathLike[str]]) -> list[Verdict]: ...
