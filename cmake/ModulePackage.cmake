# The module as it ships: beside build/<preset>/image/boardinit.efi the build derives
# boardinit.te, boardinit.ffs and boardinit-fv.bin (package_module does the work).

# The module's FFS file name: chosen once for this module, named only here.
set(BOARDINIT_FILE_GUID "1271D999-FAD7-455D-9894-5B642DD6EE1C")
set(BOARDINIT_UI_NAME "BoardInit")

option(BOARDINIT_DEPEX_AFTER_MEMORY
       "Dispatch the module once permanent memory is installed, not before memory" OFF)
option(BOARDINIT_FFS_PE32 "Carry the code as a PE32 section rather than a TE section" OFF)
# The volume runs in place at this address: RAM where a PEI core that copies its PEI volume out
# of flash finds it, and free memory in the image runner (whose board space, from 0x80000000,
# takes the top of the 4 GiB space where flash would sit).
set(BOARDINIT_FV_BASE "0x00820000" CACHE STRING "Address of the firmware volume's first byte")
# 16 blocks of 4 KiB (the flash erase block): about five times the module, room to grow.
set(BOARDINIT_FV_SIZE "0x10000" CACHE STRING "Size of the firmware volume in bytes")

function(add_module_package TARGET IMAGE_TARGET)
  get_target_property(image ${IMAGE_TARGET} IMAGE_FILE)
  get_filename_component(dir ${image} DIRECTORY)
  set(te ${dir}/boardinit.te)
  set(ffs ${dir}/boardinit.ffs)
  set(fv ${dir}/boardinit-fv.bin)
  set(depex always)
  if(BOARDINIT_DEPEX_AFTER_MEMORY)
    set(depex after-memory)
  endif()
  set(code te)
  if(BOARDINIT_FFS_PE32)
    set(code pe32)
  endif()
  add_custom_command(
    OUTPUT ${te} ${ffs} ${fv}
    COMMAND package_module --pe ${image} --guid ${BOARDINIT_FILE_GUID} --name ${BOARDINIT_UI_NAME}
            --depex ${depex} --code ${code} --fv-base ${BOARDINIT_FV_BASE}
            --fv-size ${BOARDINIT_FV_SIZE} --te ${te} --ffs ${ffs} --fv ${fv}
    DEPENDS package_module ${image}
    COMMENT "Packaging boardinit.te, boardinit.ffs and boardinit-fv.bin"
    VERBATIM)
  add_custom_target(${TARGET} ALL DEPENDS ${te} ${ffs} ${fv})
  set_target_properties(${TARGET} PROPERTIES TE_FILE ${te} FFS_FILE ${ffs} FV_FILE ${fv})
endfunction()
