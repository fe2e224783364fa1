// The board's pad settings. Pads left out of a table keep whatever the hardware holds.
// Column order in each row: pad, direction, output level, mode, configuration nibble, pull.

#include "gpio/PadTables.h"

// clang-format off

// Community at 0x1000, applied first.
const PadConfigEntry PadTable1000[PadTable1000Count] = {
    //  Pad  Direction  Output   Mode Nibble Pull
    Pad( 19, PadKeep,   PadKeep, 2,   0,     0),
    Pad( 18, PadKeep,   PadKeep, 2,   0,     6),
    Pad( 17, PadKeep,   PadKeep, 2,   0,     6),
    Pad( 20, 6,         PadKeep, 0,   0,     1),
    Pad( 21, 6,         PadKeep, 0,   0,     1),
    Pad( 22, 6,         PadKeep, 0,   0,     1),
    Pad( 24, PadKeep,   PadKeep, 2,   0,     0),
    Pad( 25, PadKeep,   PadKeep, 2,   0,     0),
    Pad( 23, PadKeep,   PadKeep, 2,   0,     0),
    Pad( 16, PadKeep,   PadKeep, 2,   0,     0),
    Pad( 14, PadKeep,   PadKeep, 2,   0,     1),
    Pad( 15, PadKeep,   PadKeep, 2,   0,     1),
    Pad( 12, 0,         0,       0,   0,     6),
    Pad( 26, 6,         PadKeep, 0,   0,     1),
    Pad( 27, 6,         PadKeep, 0,   0,     0),
    Pad(  1, 0,         0,       0,   0,     6), // row 15: PostGpioSetup drives this level
    Pad(  4, 0,         0,       0,   0,     1),
    Pad(  8, 0,         1,       0,   0,     0),
    Pad( 11, 0,         1,       0,   0,     0),
    Pad(  0, 0,         0,       0,   0,     1),
    Pad(  3, 0,         0,       0,   0,     1), // row 20: PostGpioSetup drives this level
    Pad(  6, 0,         1,       0,   0,     0),
    Pad( 10, 0,         0,       0,   0,     1),
    Pad( 13, 0,         1,       0,   0,     1),
    Pad(  2, 0,         0,       0,   0,     0),
    Pad(  5, 0,         0,       0,   0,     6),
    Pad(  9, 0,         1,       0,   0,     1),
};

// Community at 0x0000, applied second.
const PadConfigEntry PadTable0000[PadTable0000Count] = {
    //  Pad  Direction  Output   Mode Nibble Pull
    Pad( 85, 2,         PadKeep, 0,   6,     0),
    Pad( 89, 2,         PadKeep, 0,   6,     0),
    Pad( 93, 2,         PadKeep, 0,   6,     1), // row 2: input, sampled by PostGpioSetup
    Pad( 96, 0,         0,       0,   0,     1),
    Pad( 99, 6,         PadKeep, 0,   0,     0),
    Pad(102, 6,         PadKeep, 0,   0,     0),
    Pad( 98, 6,         PadKeep, 0,   0,     0),
    Pad(101, 2,         PadKeep, 0,   6,     0),
    Pad( 34, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 37, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 36, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 38, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 39, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 35, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 40, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 84, PadKeep,   PadKeep, 1,   0,     1),
    // Rows 16-26: the configuration registers of these pads are overwritten with fixed
    // values once all tables are applied; only their value-register pass counts here.
    Pad( 62, PadKeep,   PadKeep, 1,   0,     1), // row 16
    Pad( 61, PadKeep,   PadKeep, 1,   0,     0), // row 17
    Pad( 64, PadKeep,   PadKeep, 1,   0,     0), // row 18
    Pad( 59, PadKeep,   PadKeep, 1,   0,     0), // row 19
    Pad( 54, PadKeep,   PadKeep, 1,   0,     0), // row 20
    Pad( 56, PadKeep,   PadKeep, 1,   0,     0), // row 21
    Pad( 60, PadKeep,   PadKeep, 1,   0,     0), // row 22
    Pad( 55, PadKeep,   PadKeep, 1,   0,     0), // row 23
    Pad( 63, PadKeep,   PadKeep, 1,   0,     0), // row 24
    Pad( 57, PadKeep,   PadKeep, 1,   0,     0), // row 25
    Pad( 51, PadKeep,   PadKeep, 1,   0,     1), // row 26
    Pad( 50, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 53, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 47, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 52, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 49, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 48, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 43, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 46, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 41, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 45, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 42, PadKeep,   PadKeep, 1,   0,     0),
    // Row 38: pad 58 already holds 0x2003CC81, written just before the tables; this row
    // merges into that value rather than into the reset state.
    Pad( 58, PadKeep,   PadKeep, 1,   0,     0), // row 38
    Pad( 44, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 95, 2,         PadKeep, 0,   0,     6),
    Pad(105, 2,         PadKeep, 0,   0,     6),
    Pad( 70, 6,         PadKeep, 0,   0,     0),
    Pad( 68, 6,         PadKeep, 0,   0,     0),
    Pad( 67, 6,         PadKeep, 0,   0,     0),
    Pad( 66, 6,         PadKeep, 0,   0,     0),
    Pad( 69, 6,         PadKeep, 0,   0,     0),
    Pad( 71, 6,         PadKeep, 0,   0,     1),
    Pad( 65, 6,         PadKeep, 0,   0,     1),
    Pad( 72, 6,         PadKeep, 0,   0,     0),
    Pad( 86, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 90, 6,         PadKeep, 0,   0,     0),
    Pad( 88, 6,         PadKeep, 0,   0,     0),
    Pad( 92, 6,         PadKeep, 0,   0,     0),
    Pad(103, 0,         0,       0,   0,     1),
    Pad( 77, 6,         PadKeep, 0,   0,     1),
    Pad( 79, 6,         PadKeep, 0,   0,     1),
    Pad( 83, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 78, 6,         PadKeep, 0,   0,     1),
    Pad( 81, 6,         PadKeep, 0,   0,     1),
    Pad( 80, 6,         PadKeep, 0,   0,     1),
    Pad( 82, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 13, 6,         PadKeep, 0,   0,     1),
    Pad( 12, 6,         PadKeep, 0,   0,     1),
    Pad( 15, 6,         PadKeep, 0,   0,     1),
    Pad( 14, 2,         PadKeep, 0,   6,     6),
    Pad( 17, 6,         PadKeep, 0,   0,     0),
    Pad( 18, 6,         PadKeep, 0,   0,     0),
    Pad( 19, 6,         PadKeep, 0,   0,     0),
    Pad( 16, 6,         PadKeep, 0,   0,     1),
    Pad(  2, PadKeep,   PadKeep, 1,   0,     0),
    Pad(  1, PadKeep,   PadKeep, 1,   0,     0),
    Pad(  0, PadKeep,   PadKeep, 1,   0,     0),
    Pad(  4, PadKeep,   PadKeep, 1,   0,     0),
    Pad(  6, PadKeep,   PadKeep, 1,   0,     0),
    Pad(  7, PadKeep,   PadKeep, 1,   0,     0),
    Pad(  9, PadKeep,   PadKeep, 1,   0,     0),
    Pad(  8, PadKeep,   PadKeep, 1,   0,     0),
    // Rows 78-87: the ten pads ModuleEntry preloads with 0x2003CC81, in the same order;
    // these rows adjust the preloaded value.
    Pad( 33, PadKeep,   PadKeep, 1,   0,     2), // row 78
    Pad( 32, PadKeep,   PadKeep, 1,   0,     2), // row 79
    Pad( 31, PadKeep,   PadKeep, 1,   0,     6), // row 80
    Pad( 30, PadKeep,   PadKeep, 1,   0,     6), // row 81
    Pad( 29, PadKeep,   PadKeep, 1,   0,     6), // row 82
    Pad( 27, PadKeep,   PadKeep, 1,   0,     6), // row 83
    Pad( 25, PadKeep,   PadKeep, 1,   0,     6), // row 84
    Pad( 28, PadKeep,   PadKeep, 1,   0,     6), // row 85
    Pad( 26, PadKeep,   PadKeep, 1,   0,     4), // row 86
    Pad( 23, PadKeep,   PadKeep, 1,   0,     4), // row 87
    Pad( 21, 6,         PadKeep, 0,   0,     4),
    Pad( 20, 6,         PadKeep, 0,   0,     4),
    Pad( 24, 6,         PadKeep, 0,   0,     4),
    Pad( 22, 6,         PadKeep, 0,   0,     4),
    Pad(  5, PadKeep,   PadKeep, 0,   0,     4),
    Pad(  3, PadKeep,   PadKeep, 0,   0,     4),
    Pad( 10, 0,         1,       0,   0,     0),
    Pad( 11, 0,         0,       0,   0,     1),
    Pad(106, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 87, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 91, PadKeep,   PadKeep, 1,   0,     1),
    Pad(104, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 97, 0,         1,       0,   0,     0),
    Pad(100, 6,         PadKeep, 0,   0,     1),
    Pad(114, 0,         0,       0,   2,     1),
};

// Community at 0x2000, applied last.
const PadConfigEntry PadTable2000[PadTable2000Count] = {
    //  Pad  Direction  Output   Mode Nibble Pull
    Pad( 29, 2,         PadKeep, 0,   3,     1),
    Pad( 33, 0,         0,       0,   0,     0), // row 1: PostGpioSetup drives this level
    Pad( 30, 2,         1,       0,   6,     0),
    Pad( 31, 2,         PadKeep, 0,   4,     0),
    Pad( 32, 2,         PadKeep, 0,   2,     1),
    Pad( 34, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 36, 2,         PadKeep, 0,   5,     0),
    Pad( 35, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 38, 2,         PadKeep, 0,   3,     1),
    Pad( 37, 2,         PadKeep, 0,   0,     1),
    Pad( 18, 0,         PadKeep, 0,   0,     0), // row 10: made an output, level left as found
    Pad(  7, PadKeep,   PadKeep, 0,   0,     1),
    Pad( 11, 0,         0,       1,   0,     1),
    Pad( 20, PadKeep,   PadKeep, 0,   0,     1),
    Pad( 17, 0,         1,       1,   0,     1),
    Pad(  1, 2,         PadKeep, 1,   3,     6),
    Pad(  8, 2,         PadKeep, 1,   6,     0),
    Pad( 10, 2,         PadKeep, 1,   5,     0),
    Pad( 19, 2,         PadKeep, 1,   6,     0),
    Pad( 12, 2,         PadKeep, 1,   5,     6),
    Pad(  0, 0,         0,       1,   0,     0),
    Pad(  2, 0,         0,       1,   0,     1),
    Pad( 23, 0,         0,       0,   0,     1),
    Pad( 39, 2,         PadKeep, 0,   5,     0),
    Pad( 28, 2,         PadKeep, 0,   5,     6),
    Pad( 27, 0,         1,       0,   0,     0),
    Pad( 22, 0,         1,       0,   0,     6), // row 26: PostGpioSetup drives this level
    Pad( 21, 2,         PadKeep, 0,   6,     6),
    Pad( 24, 2,         PadKeep, 0,   6,     0),
    Pad( 25, 0,         1,       0,   0,     1),
    Pad( 26, 2,         PadKeep, 0,   4,     6),
    Pad( 51, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 56, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 54, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 49, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 55, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 48, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 57, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 50, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 58, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 52, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 53, PadKeep,   PadKeep, 1,   0,     1),
    Pad( 59, PadKeep,   PadKeep, 1,   0,     0),
    Pad( 40, PadKeep,   PadKeep, 1,   0,     1),
};
// clang-format on
