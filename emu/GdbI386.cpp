#include "emu/GdbI386.h"

#include <unicorn/unicorn.h>

namespace emu::gdb {

namespace {

// GDB numbers the registers in this order: the eight general registers in encoding order, EIP,
// EFLAGS, the six segment registers, then the x87 unit, which its i386 core feature requires.
constexpr I386Register Registers[] = {
    {"eax", 4, UC_X86_REG_EAX, true},
    {"ecx", 4, UC_X86_REG_ECX, true},
    {"edx", 4, UC_X86_REG_EDX, true},
    {"ebx", 4, UC_X86_REG_EBX, true},
    {"esp", 4, UC_X86_REG_ESP, true},
    {"ebp", 4, UC_X86_REG_EBP, true},
    {"esi", 4, UC_X86_REG_ESI, true},
    {"edi", 4, UC_X86_REG_EDI, true},
    {"eip", 4, UC_X86_REG_EIP, true},
    {"eflags", 4, UC_X86_REG_EFLAGS, true},
    {"cs", 4, UC_X86_REG_CS, false},
    {"ss", 4, UC_X86_REG_SS, false},
    {"ds", 4, UC_X86_REG_DS, false},
    {"es", 4, UC_X86_REG_ES, false},
    {"fs", 4, UC_X86_REG_FS, false},
    {"gs", 4, UC_X86_REG_GS, false},
    {"st0", 10, UC_X86_REG_FP0, false},
    {"st1", 10, UC_X86_REG_FP1, false},
    {"st2", 10, UC_X86_REG_FP2, false},
    {"st3", 10, UC_X86_REG_FP3, false},
    {"st4", 10, UC_X86_REG_FP4, false},
    {"st5", 10, UC_X86_REG_FP5, false},
    {"st6", 10, UC_X86_REG_FP6, false},
    {"st7", 10, UC_X86_REG_FP7, false},
    {"fctrl", 4, UC_X86_REG_FPCW, false},
    {"fstat", 4, UC_X86_REG_FPSW, false},
    {"ftag", 4, UC_X86_REG_FPTAG, false},
    {"fiseg", 4, 0, false},
    {"fioff", 4, 0, false},
    {"foseg", 4, 0, false},
    {"fooff", 4, 0, false},
    {"fop", 4, 0, false},
};

constexpr const char* Types[] = {
    "int32",    "int32",       "int32", "int32", "data_ptr", "data_ptr", "int32", "int32",
    "code_ptr", "i386_eflags", "int32", "int32", "int32",    "int32",    "int32", "int32",
};

constexpr const char* EflagsBits[][2] = {
    {"CF", "0"},  {"", "1"},    {"PF", "2"},   {"AF", "4"},   {"ZF", "6"},  {"SF", "7"},
    {"TF", "8"},  {"IF", "9"},  {"DF", "10"},  {"OF", "11"},  {"NT", "14"}, {"RF", "16"},
    {"VM", "17"}, {"AC", "18"}, {"VIF", "19"}, {"VIP", "20"}, {"ID", "21"},
};

} // namespace

std::span<const I386Register> I386Registers() {
  return Registers;
}

std::string I386TargetXml() {
  std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE target SYSTEM \"gdb-target.dtd\">\n"
                    "<target version=\"1.0\">\n<architecture>i386</architecture>\n"
                    "<feature name=\"org.gnu.gdb.i386.core\">\n"
                    "<flags id=\"i386_eflags\" size=\"4\">\n";
  for (const auto& bit : EflagsBits) {
    xml += std::string("<field name=\"") + bit[0] + "\" start=\"" + bit[1] + "\" end=\"" + bit[1] +
           "\"/>\n";
  }
  xml += "</flags>\n";
  unsigned number = 0;
  for (const I386Register& reg : Registers) {
    std::string type;
    std::string group;
    if (number < std::size(Types)) {
      type = Types[number];
    } else if (reg.Bytes == 10) {
      type = "i387_ext";
    } else {
      type = "int";
      group = " group=\"float\"";
    }
    xml += std::string("<reg name=\"") + reg.Name + "\" bitsize=\"" +
           std::to_string(8 * reg.Bytes) + "\" type=\"" + type + "\" regnum=\"" +
           std::to_string(number) + "\"" + group + "/>\n";
    ++number;
  }
  xml += "</feature>\n</target>\n";
  return xml;
}

} // namespace emu::gdb
