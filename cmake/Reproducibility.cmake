# The release's reproducibility check: the image and its shipped forms, built a second time
# independently (firmware_image_again, module_package_again), must be byte-identical to the
# first. The result, build/<preset>/reproducibility.json, goes into the release manifest; the
# test release_rebuild_is_identical builds them again in another folder.

# The files both builds make, by name: the shipped forms and the integration kit.
set(BOARDINIT_REPRODUCED_FILES)
foreach(item IN ITEMS "firmware_image;IMAGE_FILE" "module_package;TE_FILE"
                      "module_package;FFS_FILE" "module_package;FV_FILE"
                      "module_package;DEPEX_FILE" "module_package;KIT_FILES")
  list(GET item 0 target)
  list(GET item 1 property)
  get_target_property(paths ${target} ${property})
  foreach(path IN LISTS paths)
    get_filename_component(name ${path} NAME)
    list(APPEND BOARDINIT_REPRODUCED_FILES ${name})
  endforeach()
endforeach()
list(JOIN BOARDINIT_REPRODUCED_FILES "," reproducedNames)

get_target_property(image firmware_image IMAGE_FILE)
get_target_property(imageAgain firmware_image_again IMAGE_FILE)
get_filename_component(first ${image} DIRECTORY)
get_filename_component(second ${imageAgain} DIRECTORY)
set(BOARDINIT_REPRODUCIBILITY ${PROJECT_BINARY_DIR}/reproducibility.json)
set(outputs)
foreach(name IN LISTS BOARDINIT_REPRODUCED_FILES)
  list(APPEND outputs ${first}/${name} ${second}/${name})
endforeach()
add_custom_command(
  OUTPUT ${BOARDINIT_REPRODUCIBILITY}
  COMMAND ${CMAKE_COMMAND} -DFIRST=${first} -DSECOND=${second} -DFILES=${reproducedNames}
          -DRESULT=${BOARDINIT_REPRODUCIBILITY} -P ${PROJECT_SOURCE_DIR}/cmake/CompareBuilds.cmake
  DEPENDS ${outputs} module_package module_package_again
          ${PROJECT_SOURCE_DIR}/cmake/CompareBuilds.cmake
  COMMENT "Comparing the two builds of the image and its shipped forms"
  VERBATIM)
add_custom_target(reproducibility_check ALL DEPENDS ${BOARDINIT_REPRODUCIBILITY})
