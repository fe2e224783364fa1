// The emulated machine with small hand-assembled images: what the image sees on entry, how its
// accesses reach the board, and how a run that goes wrong is reported.
#include "emu/Machine.h"
#include "emu/ImageRun.h"
#include "sim/HobList.h"
#include "sim/Soc.h"
#include "support/BoardFixture.h"
#include "support/TestImage.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

constexpr uint64_t TestInstructionLimit = 100000;

struct Fixture {
  explicit Fixture(const TestImage& Image, std::vector<uint8_t> HobList = emu::EmptyHobList(),
                   uint64_t AccessBudget = 0, uint64_t TimeBudgetNs = 0,
                   bool CountInstructions = false, uint32_t StackBytes = 0)
      : soc(sim::BoardConfig{}), image(emu::ParsePe(Image.Build())) {
    soc.Bus.SetAccessBudget(AccessBudget);
    soc.Bus.SetTimeBudget(TimeBudgetNs);
    machine = std::make_unique<emu::Machine>(image, soc.Bus, HobList, TestInstructionLimit,
                                             CountInstructions, StackBytes);
  }
  emu::CallResult Run(std::vector<uint32_t> Arguments = {}) {
    return machine->Call(image.AddressOfEntryPoint, Arguments);
  }

  sim::Soc soc;
  emu::PeImage image;
  std::unique_ptr<emu::Machine> machine;
};

TestImage Code(std::vector<uint8_t> Bytes) {
  TestImage image;
  image.Text = std::move(Bytes);
  return image;
}

TEST(MachineTest, ForwardsEveryAccessToTheBoardAtItsWidth) {
  Fixture run(Code({
      0xA0, 0x40, 0x80, 0x0F, 0xE0,                               // mov al, [0xE00F8040]
      0x66, 0xA1, 0x08, 0xC0, 0xD0, 0xFE,                         // mov ax, [0xFED0C008]
      0xA1, 0x00, 0xC0, 0xD0, 0xFE,                               // mov eax, [0xFED0C000]
      0xC6, 0x05, 0x00, 0xC1, 0xD0, 0xFE, 0x5A,                   // mov byte [0xFED0C100], 0x5A
      0x66, 0xC7, 0x05, 0x04, 0xC1, 0xD0, 0xFE, 0x34, 0x12,       // mov word [0xFED0C104], 0x1234
      0xC7, 0x05, 0x08, 0xC1, 0xD0, 0xFE, 0x0D, 0xF0, 0xFE, 0xCA, // mov [0xFED0C108], 0xCAFEF00D
      0x66, 0xBA, 0x00, 0x05,                                     // mov dx, 0x500
      0xB8, 0xEF, 0xCD, 0xAB, 0x89,                               // mov eax, 0x89ABCDEF
      0xEF,                                                       // out dx, eax
      0xED,                                                       // in eax, dx
      0xE6, 0x80,                                                 // out 0x80, al
      0xC3,                                                       // ret
  }));
  const emu::CallResult result = run.Run();
  ASSERT_TRUE(result.Returned) << result.Failure;
  EXPECT_EQ(result.Eax, 0x89ABCDEFu);
  const std::vector<Expected> expected = {
      R8(0xE00F8040, 0x00),
      {sim::AccessOp::Read, 16, 0xFED0C008, sim::GpioValueReset},
      R32(0xFED0C000, sim::GpioConfigReset),
      {sim::AccessOp::Write, 8, 0xFED0C100, 0x5A},
      W16(0xFED0C104, 0x1234),
      W32(0xFED0C108, 0xCAFEF00D),
      Out32(0x500, 0x89ABCDEF),
      {sim::AccessOp::In, 32, 0x500, 0x89ABCDEF},
      {sim::AccessOp::Out, 8, 0x80, 0xEF},
  };
  EXPECT_EQ(AccessesFrom(run.soc.Bus), expected);
}

TEST(MachineTest, UnclaimedAddressesReadAllOnesFromTheBoard) {
  Fixture run(Code({
      0xA1, 0x00, 0x00, 0x00, 0xFF, // mov eax, [0xFF000000]
      0xC3,                         // ret
  }));
  const emu::CallResult result = run.Run();
  ASSERT_TRUE(result.Returned) << result.Failure;
  EXPECT_EQ(result.Eax, 0xFFFFFFFFu);
  EXPECT_EQ(AccessesFrom(run.soc.Bus), (std::vector<Expected>{R32(0xFF000000, 0xFFFFFFFF)}));
}

TEST(MachineTest, PeiServicesPointerIsPassedAndSitsBelowTheIdtBase) {
  Fixture run(Code({
      0x83, 0xEC, 0x08,       // sub esp, 8
      0x0F, 0x01, 0x0C, 0x24, // sidt [esp]
      0x8B, 0x44, 0x24, 0x02, // mov eax, [esp+2]      IDT base
      0x8B, 0x40, 0xFC,       // mov eax, [eax-4]      EFI_PEI_SERVICES**
      0x8B, 0x54, 0x24, 0x10, // mov edx, [esp+16]     the PeiServices argument
      0x8B, 0x00,             // mov eax, [eax]        EFI_PEI_SERVICES*
      0x8B, 0x00,             // mov eax, [eax]        low half of the table's signature
      0x83, 0xC4, 0x08,       // add esp, 8
      0xC3,                   // ret
  }));
  const emu::CallResult result = run.Run({0, run.machine->PeiServices()});
  ASSERT_TRUE(result.Returned) << result.Failure;
  EXPECT_EQ(result.Edx, run.machine->PeiServices());
  EXPECT_EQ(result.Eax, 0x20494550u); // "PEI "
  EXPECT_EQ(result.StackPopped, 0u);
  EXPECT_TRUE(run.soc.Bus.GetTrace().Accesses().empty()); // none of this is a register access
}

// Finds GetHobList as a module does and returns the first word of the first HOB (HobType in the
// low half, HobLength in the high half) and the list's address; 0xBAD if the call failed.
const std::vector<uint8_t> GetHobListCaller = {
    0x83, 0xEC, 0x0C,                               // sub esp, 12
    0x0F, 0x01, 0x0C, 0x24,                         // sidt [esp]
    0x8B, 0x44, 0x24, 0x02,                         // mov eax, [esp+2]
    0x8B, 0x40, 0xFC,                               // mov eax, [eax-4]
    0xC7, 0x44, 0x24, 0x08, 0x00, 0x00, 0x00, 0x00, // mov dword [esp+8], 0
    0x8D, 0x4C, 0x24, 0x08,                         // lea ecx, [esp+8]
    0x51,                                           // push ecx          HobList
    0x50,                                           // push eax          PeiServices
    0x8B, 0x00,                                     // mov eax, [eax]
    0xFF, 0x50, 0x30,                               // call [eax+0x30]   GetHobList
    0x83, 0xC4, 0x08,                               // add esp, 8        caller pops
    0x85, 0xC0,                                     // test eax, eax
    0x75, 0x0A,                                     // jnz failed
    0x8B, 0x54, 0x24, 0x08,                         // mov edx, [esp+8]
    0x8B, 0x02,                                     // mov eax, [edx]
    0x83, 0xC4, 0x0C,                               // add esp, 12
    0xC3,                                           // ret
    0xB8, 0xAD, 0x0B, 0x00, 0x00,                   // failed: mov eax, 0xBAD
    0x83, 0xC4, 0x0C,                               // add esp, 12
    0xC3,                                           // ret
};

TEST(MachineTest, GetHobListHandsOverTheListItWasGiven) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> List;
    uint32_t FirstWord;
  };
  const std::vector<uint8_t> guidFirst =
      sim::BuildHobList({{.What = sim::HobEntry::Kind::Guid}}, emu::ImagePointerBytes);
  std::vector<uint8_t> large(6000, 0); // longer than a page
  large[0] = 0x07;
  large[2] = 0x70;
  large[3] = 0x17;

  for (const Case& c : {Case{"empty list", emu::EmptyHobList(), 0x0008FFFF},
                        Case{"GUID HOB first", guidFirst, 0x00180004},
                        Case{"list over a page", large, 0x17700007}}) {
    SCOPED_TRACE(c.Name);
    Fixture run(Code(GetHobListCaller), c.List);
    const emu::CallResult result = run.Run({0, run.machine->PeiServices()});
    ASSERT_TRUE(result.Returned) << result.Failure;
    EXPECT_EQ(result.Eax, c.FirstWord);
    EXPECT_EQ(result.Edx, run.machine->HobListAddress());
    EXPECT_EQ(result.StackPopped, 0u);
  }
}

// The stack is painted before the run: how deep a call wrote into it, counted from the top with
// its return address, is what it used. A call that goes below the stack the board gives it
// stops there (the place named is the start of the translated block, as for every access to
// unmapped memory).
TEST(MachineTest, MeasuresTheStackAndStopsACallThatGoesBelowIt) {
  const std::vector<uint8_t> twoWords = {
      0x6A, 0x01,       // push 1
      0x6A, 0x02,       // push 2
      0x83, 0xC4, 0x08, // add esp, 8
      0xC3,             // ret
  };
  const std::vector<uint8_t> deep = {
      0x83, 0xEC, 0x7C, // sub esp, 124
      0x6A, 0x01,       // push 1           4 + 124 + 4 bytes from the top
      0x83, 0xC4, 0x7C, // add esp, 124
      0x58,             // pop eax
      0xC3,             // ret
  };
  struct Case {
    const char* Name;
    std::vector<uint8_t> Text;
    uint32_t StackBytes;
    uint32_t Used;
    const char* Failure; // null: the call returns
  };
  for (const Case& c :
       {Case{"two words", twoWords, 0, 12, nullptr}, Case{"deep", deep, 0, 132, nullptr},
        Case{"deep, just room", deep, 144, 132, nullptr},
        Case{"deep, too little", deep, 128, 0,
             "stack overflow: 32-bit access to 0x006FFFFC, below the 128 bytes of stack at "
             "0x00700000-0x00700080 at 0x00800200 (image RVA 0x00000200)"}}) {
    SCOPED_TRACE(c.Name);
    Fixture run(Code(c.Text), emu::EmptyHobList(), 0, 0, false, c.StackBytes);
    EXPECT_EQ(run.machine->StackUsed(), 0u);
    const emu::CallResult result = run.Run();
    if (c.Failure == nullptr) {
      ASSERT_TRUE(result.Returned) << result.Failure;
      EXPECT_EQ(run.machine->StackUsed(), c.Used);
    } else {
      EXPECT_FALSE(result.Returned);
      EXPECT_EQ(result.Failure.substr(0, result.Failure.find('\n')), c.Failure);
    }
  }
}

// Each access names the instruction that made it, port instructions included, whether the
// machine's first board asked for that or a board it was reset onto later (a sweep resets one
// machine onto board after board).
TEST(MachineTest, EveryAccessNamesTheInstructionThatMadeIt) {
  const TestImage code = Code({
      0xA1, 0x00, 0xC0, 0xD0, 0xFE, // +0  mov eax, [0xFED0C000]
      0x66, 0xBA, 0x00, 0x05,       // +5  mov dx, 0x500
      0xED,                         // +9  in eax, dx
      0x40,                         // +10 inc eax
      0xEF,                         // +11 out dx, eax
      0xA3, 0x00, 0xC1, 0xD0, 0xFE, // +12 mov [0xFED0C100], eax
      0xC3,                         // +17 ret
  });
  const emu::PeImage image = emu::ParsePe(code.Build());
  for (const bool askedLater : {false, true}) {
    SCOPED_TRACE(askedLater ? "asked by a later board" : "asked by the first board");
    sim::Soc first(sim::BoardConfig{});
    sim::Soc later(sim::BoardConfig{});
    sim::Soc& asking = askedLater ? later : first;
    asking.Bus.GetTrace().RecordSites();
    emu::Machine machine(image, first.Bus, emu::EmptyHobList(), TestInstructionLimit);
    if (askedLater) {
      ASSERT_TRUE(machine.Call(image.AddressOfEntryPoint, {}).Returned);
      machine.Reset(later.Bus, emu::EmptyHobList());
    }
    ASSERT_TRUE(machine.Call(image.AddressOfEntryPoint, {}).Returned);
    const uint32_t entry = emu::LoadBase + image.AddressOfEntryPoint;
    std::vector<uint32_t> sites;
    for (const sim::Access& access : asking.Bus.GetTrace().Accesses()) {
      sites.push_back(access.Eip - entry);
    }
    EXPECT_EQ(sites, (std::vector<uint32_t>{0, 9, 11, 12}));
  }
}

TEST(MachineTest, RelocatesTheImageAwayFromItsImageBase) {
  TestImage image;
  image.ImageBase = 0x00010000;
  image.Text = {0xA1, 0,    0,    0,   0, // mov eax, [data]
                0xC3,                     // ret
                0xCC, 0xCC,               //
                0x7A, 0xDA, 0x0D, 0x60};
  TestImage::Put32(image.Text, 1, image.LinkedAddress(8));
  image.Relocations = {{0, {HighLow(TextRva + 1), 0x0000}}};
  Fixture run(image);
  const emu::CallResult result = run.Run();
  ASSERT_TRUE(result.Returned) << result.Failure;
  EXPECT_EQ(result.Eax, 0x600DDA7Au);
}

// A caller holding a function pointer: the call goes to an absolute address, and what the
// callee stores through a pointer argument is read back from scratch memory.
TEST(MachineTest, CallsByAddressWithAPointerIntoScratchMemory) {
  TestImage image = Code({
      0xCC,                   // never executed: the call enters one byte further on
      0x8B, 0x44, 0x24, 0x04, // mov eax, [esp+4]
      0x8B, 0x4C, 0x24, 0x08, // mov ecx, [esp+8]
      0x89, 0x08,             // mov [eax], ecx
      0xC3,                   // ret
  });
  Fixture run(image);
  const uint32_t scratch = run.machine->ScratchAddress();
  const uint8_t fill[4] = {0xCC, 0xCC, 0xCC, 0xCC};
  ASSERT_TRUE(run.machine->WriteMemory(scratch, fill));
  const uint32_t arguments[] = {scratch, 0x0BADF00D};
  const emu::CallResult result =
      run.machine->CallAddress(emu::LoadBase + image.LinkedAddress(1), arguments);
  ASSERT_TRUE(result.Returned) << result.Failure;
  uint8_t stored[4] = {};
  ASSERT_TRUE(run.machine->ReadMemory(scratch, stored));
  EXPECT_EQ(std::vector<uint8_t>(stored, stored + 4),
            (std::vector<uint8_t>{0x0D, 0xF0, 0xAD, 0x0B}));

  // Only RAM is reachable this way: nothing unmapped, and nothing of the board's.
  EXPECT_FALSE(run.machine->ReadMemory(0x10, stored));
  EXPECT_FALSE(run.machine->ReadMemory(emu::BoardMemoryBase - 2, stored));
  EXPECT_FALSE(run.machine->WriteMemory(0xFED0C000, fill));
  EXPECT_TRUE(run.soc.Bus.GetTrace().Accesses().empty());
}

// A pause the runner has executed once is rewritten for speed: it still counts every time it runs,
// and the same bytes inside another instruction stay as they are.
TEST(MachineTest, PauseHintsReachTheBoardOnlyWhereAPauseIsExecuted) {
  Fixture run(Code({
      0xB9, 0x03, 0x00, 0x00, 0x00, // mov ecx, 3
      0xF3, 0x90,                   // again: pause
      0xE2, 0xFC,                   // loop again
      0xB8, 0xF3, 0x90, 0x00, 0x00, // mov eax, 0x90F3: the same bytes, not an instruction
      0xF3, 0x90,                   // pause
      0xC3,                         // ret
  }));
  const emu::CallResult first = run.Run();
  ASSERT_TRUE(first.Returned) << first.Failure;
  EXPECT_EQ(first.Eax, 0x90F3u);
  EXPECT_EQ(run.soc.Bus.Pauses(), 4u);
  // The runner's rewrite of an executed pause is its own: the image's bytes read as they were.
  uint8_t code[2] = {};
  ASSERT_TRUE(run.machine->ReadMemory(emu::LoadBase + 0x205, code));
  EXPECT_EQ(code[0], 0xF3);
  EXPECT_EQ(code[1], 0x90);
  const emu::CallResult again = run.Run();
  ASSERT_TRUE(again.Returned) << again.Failure;
  EXPECT_EQ(again.Eax, 0x90F3u);
  EXPECT_EQ(run.soc.Bus.Pauses(), 8u);
}

// The first run of `pause; ret` executes two blocks of one instruction each; once the pause is
// rewritten, the block at the entry holds both, and the budget must count both again.
TEST(MachineTest, TheInstructionBudgetCountsTheBlocksOfARewrittenPause) {
  Fixture run(Code({0xF3, 0x90, 0xC3})); // pause; ret
  run.machine = std::make_unique<emu::Machine>(run.image, run.soc.Bus, emu::EmptyHobList(), 1);
  const std::string budget = "instruction budget of 1 without a register access exhausted at ";
  const emu::CallResult first = run.Run();
  EXPECT_EQ(first.Failure.substr(0, first.Failure.find('\n')),
            budget + "0x00800202 (image RVA 0x00000202)");
  const emu::CallResult second = run.Run();
  EXPECT_EQ(second.Failure.substr(0, second.Failure.find('\n')),
            budget + "0x00800200 (image RVA 0x00000200)");
  EXPECT_EQ(run.soc.Bus.Pauses(), 1u);
}

TEST(MachineTest, AnImageFullOfPauseBytesLoadsAndCountsOnlyThePausesItRuns) {
  // A megabyte of `F3 90` is half a million pause sites: they share hooks, and only the sites
  // actually executed reach the board.
  constexpr size_t Pairs = 512 * 1024;
  std::vector<uint8_t> code = {0xE9, 0, 0, 0, 0}; // jmp rel32 to the last three pauses
  const size_t first = code.size();
  for (size_t i = 0; i < Pairs; ++i) {
    code.insert(code.end(), {0xF3, 0x90});
  }
  code.push_back(0xC3); // ret
  const auto jump = static_cast<uint32_t>(first + 2 * (Pairs - 3) - first);
  for (int byte = 0; byte < 4; ++byte) {
    code[1 + byte] = static_cast<uint8_t>(jump >> (8 * byte));
  }
  Fixture run(Code(code));
  ASSERT_TRUE(run.Run().Returned);
  EXPECT_EQ(run.soc.Bus.Pauses(), 3u);
}

// A busy-wait runs from a pause to the first access that is not a port read; the instruction
// making that access still belongs to it.
TEST(MachineTest, MeasuringModeSplitsInstructionsBetweenBusyWaitsAndTheRest) {
  Fixture run(Code({
                  0x66, 0xBA, 0x08, 0x04,       // mov dx, 0x408          other
                  0xED,                         // in eax, dx             other, an access
                  0xF3, 0x90,                   // pause                  busy-wait
                  0xED,                         // in eax, dx             busy-wait, a timer read
                  0xF3, 0x90,                   // pause                  busy-wait
                  0xED,                         // in eax, dx             busy-wait, a timer read
                  0xA1, 0x00, 0xC0, 0xD0, 0xFE, // mov eax, [0xFED0C000]  busy-wait, an access
                  0xC3,                         // ret                    other
              }),
              emu::EmptyHobList(), 0, 0, true);
  ASSERT_TRUE(run.Run().Returned);
  const emu::InstructionCounts& counts = run.machine->Counts();
  EXPECT_EQ(counts.BusyWaitInstructions, 5u);
  EXPECT_EQ(counts.BusyWaitTimerReads, 2u);
  EXPECT_EQ(counts.OtherInstructions, 3u);
  EXPECT_EQ(counts.OtherAccesses, 2u);
}

TEST(MachineTest, AFailedRunSaysWhatStoppedItAndWhere) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Text;
    uint64_t AccessBudget;
    std::string FirstLine;
    uint64_t TimeBudgetNs = 0;
  };
  const Case cases[] = {
      {"unmapped read",
       {0xA1, 0x10, 0x00, 0x00, 0x00, 0xC3}, // mov eax, [0x10]
       0,
       "CPU fault: 32-bit read of unmapped address 0x00000010 at 0x00800200 (image RVA "
       "0x00000200)"},
      {"invalid opcode",
       {0x90, 0x0F, 0x0B}, // nop; ud2
       0,
       "CPU fault: Invalid instruction (UC_ERR_INSN_INVALID) at 0x00800201 (image RVA "
       "0x00000201)"},
      {"divide by zero",
       {0x31, 0xC9, 0xF7, 0xF1, 0xC3}, // xor ecx, ecx; div ecx
       0,
       "CPU exception 0 (divide error) at 0x00800202 (image RVA 0x00000202)"},
      {"endless loop",
       {0x90, 0xEB, 0xFE}, // nop; jmp $
       0,
       "instruction budget of 100000 without a register access exhausted at 0x00800201 (image RVA "
       "0x00000201)"},
      {"halt", {0x90, 0xF4, 0xC3}, 0, "halted at 0x00800201 (image RVA 0x00000201)"},
      {"polls a port for ever",
       {0x66, 0xBA, 0x00, 0x05, 0xED, 0xEB, 0xFD}, // mov dx, 0x500; again: in eax, dx; jmp again
       25,
       "access budget of 25 exhausted at 0x00800204 (image RVA 0x00000204)"},
      // The loop's block starts at the `nop`: the budget runs out at the `in` after it, whether
      // the run starts close to the budget or comes close on the way.
      {"polls a port behind a nop",
       {0x66, 0xBA, 0x00, 0x05, 0x90, 0xED, 0xEB, 0xFC}, // mov dx, 0x500; again: nop; in; jmp again
       25,
       "access budget of 25 exhausted at 0x00800205 (image RVA 0x00000205)"},
      {"polls a port behind a nop, far from the budget at first",
       {0x66, 0xBA, 0x00, 0x05, 0x90, 0xED, 0xEB, 0xFC},
       20000,
       "access budget of 20000 exhausted at 0x00800205 (image RVA 0x00000205)"},
      {"runs out at the first of two accesses in a block",
       {0x66, 0xBA, 0x00, 0x05, 0xED, 0xA1, 0x00, 0xC0, 0xD0, 0xFE, 0xC3}, // in; mov eax, [...]
       1,
       "access budget of 1 exhausted at 0x00800204 (image RVA 0x00000204)"},
      {"polls a port until its time runs out",
       {0x66, 0xBA, 0x00, 0x05, 0xED, 0xEB, 0xFD},
       0,
       "time budget of 1 ms of virtual time exhausted at 0x00800204 (image RVA 0x00000204)",
       1'000'000},
      {"another PEI service",
       {0x83, 0xEC, 0x08, 0x0F, 0x01, 0x0C, 0x24, 0x8B, 0x44, 0x24, 0x02, 0x8B, 0x40, 0xFC,
        0x50,             // push eax
        0x8B, 0x00,       // mov eax, [eax]
        0xFF, 0x50, 0x18, // call [eax+0x18]   InstallPpi
        0x83, 0xC4, 0x0C, 0xC3},
       0,
       "called the PEI service at table offset 0x00000018, which the runner does not provide at "
       "0x00600A00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Fixture run(Code(c.Text), emu::EmptyHobList(), c.AccessBudget, c.TimeBudgetNs);
    const emu::CallResult result = run.Run();
    EXPECT_FALSE(result.Returned);
    EXPECT_EQ(result.Failure.substr(0, result.Failure.find('\n')), c.FirstLine);
    EXPECT_NE(result.Failure.find("\nlast accesses:"), std::string::npos);
    if (c.AccessBudget != 0) {
      // The run ends with the instruction that ran the budget out, not later in its block.
      EXPECT_EQ(run.soc.Bus.AccessCount(), c.AccessBudget);
    }
  }
}

TEST(MachineTest, AFailureListsTheLastTenAccesses) {
  Fixture run(Code({0x66, 0xBA, 0x00, 0x05, 0xED, 0xEB, 0xFD}), emu::EmptyHobList(), 25);
  const emu::CallResult result = run.Run();
  ASSERT_FALSE(result.Returned);
  std::string expected = "\nlast accesses:";
  const auto& accesses = run.soc.Bus.GetTrace().Accesses();
  ASSERT_GE(accesses.size(), 25u);
  for (size_t i = accesses.size() - 10; i < accesses.size(); ++i) {
    expected += "\n  " + sim::FormatAccess(accesses[i]);
  }
  EXPECT_EQ(result.Failure.substr(result.Failure.find('\n')), expected);
}

// A driver runs the call through the machine's run control: step by step, stopped at a `pause`
// by its interrupt request, or ended by its own Stop; the call ends as the driver left it.
TEST(MachineTest, ADriverRunsTheCallThroughTheRunControl) {
  enum class Drive { Step, Interrupt, Stop };
  struct Driver final : emu::CallDriver {
    int DriveCall(emu::Machine& M) override {
      if (How == Drive::Interrupt) {
        interrupt = true;
        EXPECT_EQ(M.Continue(0), 0);
        EXPECT_TRUE(M.Interrupted());
        StoppedAt = M.Eip();
        interrupt = false;
        return M.Continue(0);
      }
      for (;;) {
        if (How == Drive::Stop && Steps == 1) {
          M.Stop("stopped by its driver");
          return 0;
        }
        const int error = M.Continue(1);
        ++Steps;
        if (error != 0 || M.Stopped() || M.Eip() == emu::ReturnTrap) {
          return error;
        }
      }
    }
    const std::atomic<bool>& InterruptRequested() const override { return interrupt; }

    Drive How = Drive::Step;
    int Steps = 0;
    uint32_t StoppedAt = 0;
    std::atomic<bool> interrupt{false};
  };
  struct Case {
    Drive How;
    int Steps;
    uint32_t StoppedAt;
    std::string Failure; // its first line; empty where the call returns
  };
  const uint32_t pause = emu::LoadBase + 0x205;
  const Case cases[] = {
      {Drive::Step, 4, 0, ""},
      {Drive::Interrupt, 0, pause, ""},
      {Drive::Stop, 1, 0, "stopped by its driver at 0x00800205 (image RVA 0x00000205)"},
  };
  for (const Case& c : cases) {
    Fixture run(Code({
        0xB8, 0x07, 0x00, 0x00, 0x00, // mov eax, 7
        0xF3, 0x90,                   // pause
        0x83, 0xC0, 0x01,             // add eax, 1
        0xC3,                         // ret
    }));
    Driver driver;
    driver.How = c.How;
    run.machine->Attach(driver);
    const emu::CallResult result = run.Run();
    EXPECT_EQ(driver.Steps, c.Steps);
    EXPECT_EQ(driver.StoppedAt, c.StoppedAt);
    EXPECT_EQ(result.Failure.substr(0, result.Failure.find('\n')), c.Failure);
    EXPECT_EQ(result.Returned, c.Failure.empty());
    EXPECT_EQ(result.Eax, c.Failure.empty() ? 8u : 0u);
  }
}

} // namespace
