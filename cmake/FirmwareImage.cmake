# The module as the image that goes to flash: an i386 PE32 built with clang and lld-link, next to
# the host build in the same tree. The host compiler never sees these sources in this form, so
# each one is a custom command with its own depfile.

find_program(BOARDINIT_IMAGE_CXX NAMES clang++-14 DOC "clang++ that targets i686 Windows/EFI")
find_program(BOARDINIT_IMAGE_LINK NAMES lld-link-14 lld-link DOC "lld's PE/COFF linker")
if(NOT BOARDINIT_IMAGE_CXX OR NOT BOARDINIT_IMAGE_LINK)
  message(FATAL_ERROR "The firmware image needs clang++-14 and lld-link "
                      "(Debian packages clang-14 and lld-14; scripts/setup.sh installs them).")
endif()

set(BOARDINIT_IMAGE_CXX_FLAGS
  --target=i686-unknown-windows-msvc
  -ffreestanding -nostdlib -nostdinc++
  -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -fno-asynchronous-unwind-tables -fno-stack-protector -mno-stack-arg-probe
  -mno-sse -mno-mmx
  # Smallest code; link-time optimisation lets calls between units use registers and inline
  # across files. Both keep two builds byte-identical (the image check compares them).
  -Oz -flto -std=c++20
  -ffunction-sections -fdata-sections
  # The module has no start-up code to run constructors: any would be silently skipped.
  -Werror=global-constructors -Werror=exit-time-destructors
  -Wall -Wextra -Werror
  # DWARF for the debug twin. Every image is compiled with it, because it changes code
  # generation: with debug information clang keeps `add esp, N` where it would otherwise pop
  # into a scratch register, so the shipped image and its twin must come from the same objects.
  # The shipped link drops the debug sections.
  -g -gdwarf
)

# Section and file alignment 32 keep every RVA equal to its file offset; a zero time stamp
# makes two builds of the same sources byte-identical. Identical code folding stays on (lld's
# default without /debug): the do-nothing operations of the PMIC descriptors (the fallback's
# WriteRegister and ReadRegister, variant 5's ClearStatus2) become one function in the image, as
# other modules know them, while the host build keeps them apart. No code compares slot pointers.
set(BOARDINIT_IMAGE_LINK_FLAGS
  /subsystem:efi_boot_service_driver
  /nodefaultlib /machine:x86 /base:0 /align:32 /filealign:32 /driver /timestamp:0
)

# The debug twin: the same objects linked again with their DWARF kept. /debug turns identical
# code folding and unreferenced-section removal off by default; both are turned back on so that
# the code is the shipped code. Its section table is longer, so every section lies a fixed
# distance further up than in the shipped image: loaded that distance lower, the twin holds the
# shipped bytes at the shipped addresses (a test checks this).
# GDB cannot demangle MSVC-decorated linkage names and would know the module's C++ functions only
# by them: the twin's DWARF leaves them out of each function's own entry (code generation does
# not look at this option), and DwarfPlainNames.py sets aside those of inlined functions, so that
# `break ProgramPadTable` works.
set(BOARDINIT_IMAGE_DEBUG_LINK_FLAGS /debug:dwarf /opt:ref /opt:icf
    /mllvm:-dwarf-linkage-names=Abstract)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# add_firmware_image(<target> OUTPUT_DIR <dir> NAME <file name> ENTRY <symbol>
#                    SOURCES <absolute paths...> [RUNTIME <absolute paths...>]
#                    [INCLUDE_DIRS <dirs...>] [KEEP <C names...>] [DEBUG_TWIN])
# RUNTIME sources define helpers the compiler calls behind the code's back (__aulldiv): they are
# compiled to machine code, not for link-time optimisation, which would drop their definitions
# before its code generation makes the calls. Builds <dir>/<name>.efi and the linker's map <dir>/<name>.map, whose symbol addresses the
# image check and the size report read. KEEP names extern "C" functions that must stay functions
# of their own, at an address the map gives, even though link-time optimisation could inline
# them everywhere. The target's IMAGE_FILE and IMAGE_MAP properties hold both paths. DEBUG_TWIN
# also links <dir>/<name>.debug.efi, for a debugger (property IMAGE_DEBUG_FILE).
function(add_firmware_image TARGET)
  cmake_parse_arguments(PARSE_ARGV 1 IMG "DEBUG_TWIN" "OUTPUT_DIR;NAME;ENTRY" "SOURCES;RUNTIME;INCLUDE_DIRS;KEEP")
  set(keep)
  foreach(symbol IN LISTS IMG_KEEP)
    list(APPEND keep /include:_${symbol})
  endforeach()
  set(includes)
  foreach(dir IN LISTS IMG_INCLUDE_DIRS)
    list(APPEND includes -I${dir})
  endforeach()

  set(objects)
  foreach(source IN LISTS IMG_SOURCES IMG_RUNTIME)
    set(lto)
    if(source IN_LIST IMG_RUNTIME)
      set(lto -fno-lto)
    endif()
    # Objects keep the source's path below the project, so equal file names cannot collide;
    # a source the build generates keeps its path below the build tree.
    cmake_path(IS_PREFIX PROJECT_BINARY_DIR ${source} NORMALIZE generated)
    if(generated)
      file(RELATIVE_PATH relative ${PROJECT_BINARY_DIR} ${source})
    else()
      file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${source})
    endif()
    string(REGEX REPLACE "\\.cpp$" ".obj" object ${IMG_OUTPUT_DIR}/obj/${relative})
    get_filename_component(objectDir ${object} DIRECTORY)
    file(MAKE_DIRECTORY ${objectDir})
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${BOARDINIT_IMAGE_CXX} ${BOARDINIT_IMAGE_CXX_FLAGS} ${lto} ${includes}
              -MD -MF ${object}.d -c ${source} -o ${object}
      DEPENDS ${source}
      DEPFILE ${object}.d
      COMMENT "Compiling ${relative} for the image (${TARGET})"
      COMMAND_EXPAND_LISTS
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()

  set(image ${IMG_OUTPUT_DIR}/${IMG_NAME}.efi)
  set(map ${IMG_OUTPUT_DIR}/${IMG_NAME}.map)
  add_custom_command(
    OUTPUT ${image} ${map}
    COMMAND ${BOARDINIT_IMAGE_LINK} ${BOARDINIT_IMAGE_LINK_FLAGS} /entry:${IMG_ENTRY} ${keep}
            /out:${image} /lldmap:${map} ${objects}
    DEPENDS ${objects}
    COMMENT "Linking ${IMG_NAME}.efi (${TARGET})"
    COMMAND_EXPAND_LISTS
    VERBATIM)
  set(outputs ${image} ${map})
  if(IMG_DEBUG_TWIN)
    set(twin ${IMG_OUTPUT_DIR}/${IMG_NAME}.debug.efi)
    add_custom_command(
      OUTPUT ${twin}
      COMMAND ${BOARDINIT_IMAGE_LINK} ${BOARDINIT_IMAGE_LINK_FLAGS} ${BOARDINIT_IMAGE_DEBUG_LINK_FLAGS}
              /entry:${IMG_ENTRY} ${keep} /out:${twin} ${objects}
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/DwarfPlainNames.py ${twin}
      DEPENDS ${objects} ${PROJECT_SOURCE_DIR}/cmake/DwarfPlainNames.py
      COMMENT "Linking ${IMG_NAME}.debug.efi (${TARGET})"
      COMMAND_EXPAND_LISTS
      VERBATIM)
    list(APPEND outputs ${twin})
  endif()
  add_custom_target(${TARGET} ALL DEPENDS ${outputs})
  set_target_properties(${TARGET} PROPERTIES IMAGE_FILE ${image} IMAGE_MAP ${map})
  if(IMG_DEBUG_TWIN)
    set_target_properties(${TARGET} PROPERTIES IMAGE_DEBUG_FILE ${twin})
  endif()
endfunction()
