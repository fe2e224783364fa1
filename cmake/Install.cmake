# What `cmake --install` puts where, and the packages CPack makes of it (build the target
# `package`: build/<preset>/boardinit_<version>_amd64.deb and boardinit-<version>-linux-x86_64.tar.gz).
#   bin/boardsim
#   share/boardinit/firmware/   the four shipped forms, the debug twin, the map, the size report,
#                               the integration kit (BoardInit.inf, its depex, its three FDF
#                               fragments)
#   share/boardinit/boards/     the built-in boards
#   share/boardinit/schema/     the JSON schemas of boardsim's --json documents
#   share/boardinit/boardinit-<version>-manifest.json   every file above: size and SHA-256
#   share/doc/boardinit/        README.md and docs/
#   lib/python3/dist-packages/boardsim/   the Python module (where Debian's Python finds it), and
#                               beside it the dist-info folder that registers its pytest plugin
# boardsim finds its boards and image relative to its own folder (tools/CMakeLists.txt), and the
# Python module relative to its own (tools/boardsim/python/CMakeLists.txt).

install(TARGETS boardsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS boardsim_python LIBRARY DESTINATION ${BOARDINIT_INSTALL_PYTHONDIR}/boardsim)
install(DIRECTORY ${BOARDINIT_PYTHON_DIR}/boardsim/ DESTINATION ${BOARDINIT_INSTALL_PYTHONDIR}/boardsim
        FILES_MATCHING PATTERN "*.py" PATTERN "*.pyi" PATTERN "py.typed"
        PATTERN "__pycache__" EXCLUDE)
install(DIRECTORY ${BOARDINIT_PYTHON_DIR}/${BOARDINIT_DIST_INFO}
        DESTINATION ${BOARDINIT_INSTALL_PYTHONDIR})

set(firmware)
foreach(item IN ITEMS "firmware_image;IMAGE_FILE" "firmware_image;IMAGE_DEBUG_FILE"
                      "firmware_image;IMAGE_MAP" "module_package;TE_FILE"
                      "module_package;FFS_FILE" "module_package;FV_FILE"
                      "module_package;DEPEX_FILE" "module_package;KIT_FILES"
                      "image_size_report_text;REPORT_FILE")
  list(GET item 0 target)
  list(GET item 1 property)
  get_target_property(path ${target} ${property})
  list(APPEND firmware ${path})
endforeach()
install(FILES ${firmware} DESTINATION ${BOARDINIT_INSTALL_DATADIR}/firmware)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/boards/ DESTINATION ${BOARDINIT_INSTALL_DATADIR}/boards
        FILES_MATCHING PATTERN "*.json")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/tools/boardsim/schema/
        DESTINATION ${BOARDINIT_INSTALL_DATADIR}/schema FILES_MATCHING PATTERN "*.json")
# The pages keep their links: README.md beside docs/, as in the source tree.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The release manifest, written last, from what this install wrote.
function(first_line_of_version VARIABLE)
  execute_process(COMMAND ${ARGN} --version OUTPUT_VARIABLE text ERROR_QUIET)
  string(REGEX MATCH "^[^\n]*" line "${text}")
  set(${VARIABLE} "${line}" PARENT_SCOPE)
endfunction()
first_line_of_version(imageCompiler ${BOARDINIT_IMAGE_CXX})
first_line_of_version(imageLinker ${BOARDINIT_IMAGE_LINK})
first_line_of_version(hostLinker ${CMAKE_LINKER})
set(BOARDINIT_MANIFEST boardinit-${PROJECT_VERSION}-manifest.json)
install(CODE "
  set(MANIFEST_NAME [[${BOARDINIT_MANIFEST}]])
  set(MANIFEST_DIR [[${BOARDINIT_INSTALL_DATADIR}]])
  set(MANIFEST_VERSION [[${PROJECT_VERSION}]])
  set(MANIFEST_BUILD_NUMBER [[${BOARDINIT_BUILD_NUMBER}]])
  set(MANIFEST_HOST_COMPILER [[${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION}]])
  set(MANIFEST_HOST_LINKER [[${hostLinker}]])
  set(MANIFEST_IMAGE_COMPILER [[${imageCompiler}]])
  set(MANIFEST_IMAGE_LINKER [[${imageLinker}]])
  set(MANIFEST_REPRODUCIBILITY [[${BOARDINIT_REPRODUCIBILITY}]])
  include([[${PROJECT_SOURCE_DIR}/cmake/ReleaseManifest.cmake]])
")

set(CPACK_PACKAGE_NAME boardinit)
set(CPACK_PACKAGE_VENDOR "boardinit")
set(CPACK_PACKAGE_CONTACT "boardinit maintainers <boardinit@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Board-initialisation PEI module, its simulated board and the boardsim tool")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "The module as it ships (PE32, TE, FFS, firmware volume, with an integration kit for an "
       "EDK2-style platform build) and boardsim, which runs it on simulated boards.")
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_PACKAGE_FILE_NAME boardinit-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # boardinit_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The library packages boardsim links (libunicorn2, libnettle8, the C++ runtime), with versions.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
