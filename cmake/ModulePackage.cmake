# The module as it ships: beside build/<preset>/image/boardinit.efi the build derives
# boardinit.te, boardinit.ffs and boardinit-fv.bin (package_module does the work), and the
# integration kit: BoardInit.inf, the module described for an EDK2 platform build (it names the
# PE32 and boardinit.depex), and the FDF fragments a platform takes it with: BoardInit.fdf.inc, the
# INF line of a PEI volume; BoardInit.apriori.fdf.inc, the entry of the platform's APRIORI PEI
# block; BoardInit.rules.fdf.inc, the rule that INF line names (docs/image.md).

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

# add_module_package(<target> <image target>): the shipped forms and the kit beside the image.
# The target's properties TE_FILE, FFS_FILE, FV_FILE, DEPEX_FILE, INF_FILE and FDF_FILE (the
# volume's fragment) hold their paths, KIT_FILES the INF and its three fragments.
function(add_module_package TARGET IMAGE_TARGET)
  get_target_property(image ${IMAGE_TARGET} IMAGE_FILE)
  get_filename_component(dir ${image} DIRECTORY)
  set(te ${dir}/boardinit.te)
  set(ffs ${dir}/boardinit.ffs)
  set(fv ${dir}/boardinit-fv.bin)
  set(depexFile ${dir}/boardinit.depex)
  set(depex always)
  if(BOARDINIT_DEPEX_AFTER_MEMORY)
    set(depex after-memory)
  endif()
  set(code te)
  if(BOARDINIT_FFS_PE32)
    set(code pe32)
  endif()
  add_custom_command(
    OUTPUT ${te} ${ffs} ${fv} ${depexFile}
    COMMAND package_module --pe ${image} --guid ${BOARDINIT_FILE_GUID} --name ${BOARDINIT_UI_NAME}
            --module-version ${PROJECT_VERSION} --build-number ${BOARDINIT_BUILD_NUMBER}
            --depex ${depex} --code ${code} --fv-base ${BOARDINIT_FV_BASE}
            --fv-size ${BOARDINIT_FV_SIZE} --te ${te} --ffs ${ffs} --fv ${fv}
            --depex-file ${depexFile}
    DEPENDS package_module ${image}
    COMMENT "Packaging boardinit.te, boardinit.ffs and boardinit-fv.bin"
    VERBATIM)

  # The kit names the files beside it, so it holds for the build tree and the installed folder.
  get_filename_component(KIT_PE32 ${image} NAME)
  get_filename_component(KIT_DEPEX ${depexFile} NAME)
  get_filename_component(KIT_FFS_FILE ${ffs} NAME)
  # The rule's name, for RuleOverride: the platform's own PEIM rules stay untouched.
  string(TOUPPER ${BOARDINIT_UI_NAME} KIT_RULE)
  if(BOARDINIT_FFS_PE32)
    set(KIT_CODE_SECTION PE32)
    set(KIT_CODE_FILE ${KIT_PE32})
  else()
    set(KIT_CODE_SECTION TE)
    get_filename_component(KIT_CODE_FILE ${te} NAME)
  endif()
  if(BOARDINIT_DEPEX_AFTER_MEMORY)
    set(KIT_DEPEX_TEXT "gEfiPeiMemoryDiscoveredPpiGuid: dispatched once permanent memory is installed")
    # Two comment lines of the apriori fragment.
    set(KIT_APRIORI_WHY "This build dispatches the module once permanent\n#  memory is \
installed, in the PEI core's own order: it has no entry.")
    set(KIT_APRIORI "")
  else()
    set(KIT_DEPEX_TEXT "TRUE: dispatched as soon as the PEI core finds it, before memory")
    set(KIT_APRIORI_WHY "The module runs before memory: the PEI core dispatches it first.")
    set(KIT_APRIORI "INF $(BOARDINIT_KIT_DIR)/${BOARDINIT_UI_NAME}.inf")
  endif()
  set(inf ${dir}/${BOARDINIT_UI_NAME}.inf)
  set(fdf ${dir}/${BOARDINIT_UI_NAME}.fdf.inc)
  set(kitFiles ${inf})
  configure_file(${PROJECT_SOURCE_DIR}/package/kit/BoardInit.inf.in ${inf} @ONLY)
  foreach(fragment IN ITEMS fdf apriori.fdf rules.fdf)
    set(path ${dir}/${BOARDINIT_UI_NAME}.${fragment}.inc)
    configure_file(${PROJECT_SOURCE_DIR}/package/kit/BoardInit.${fragment}.inc.in ${path} @ONLY)
    list(APPEND kitFiles ${path})
  endforeach()

  add_custom_target(${TARGET} ALL DEPENDS ${te} ${ffs} ${fv} ${depexFile})
  set_target_properties(${TARGET} PROPERTIES TE_FILE ${te} FFS_FILE ${ffs} FV_FILE ${fv}
                                             DEPEX_FILE ${depexFile} INF_FILE ${inf}
                                             FDF_FILE ${fdf} KIT_FILES "${kitFiles}")
endfunction()
