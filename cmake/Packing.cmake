# Packing the two images into a linked executable: always the last step, after linking.
set(ZV_FIRST_IMAGE ${PROJECT_SOURCE_DIR}/assets/first.jpg)
set(ZV_SECOND_IMAGE ${PROJECT_SOURCE_DIR}/assets/second.png)

# zv_pack_executable(<linked target> <name>): writes the packed copy as <build root>/<name>.
# Stripping drops the appended images, so nothing may strip or relink the packed file after this.
function(zv_pack_executable linked name)
  set(packed ${PROJECT_BINARY_DIR}/${name})
  add_custom_command(
    OUTPUT ${packed}
    COMMAND zoravarova-pack $<TARGET_FILE:${linked}> ${ZV_FIRST_IMAGE} ${ZV_SECOND_IMAGE} ${packed}
    DEPENDS ${linked} zoravarova-pack ${ZV_FIRST_IMAGE} ${ZV_SECOND_IMAGE}
    COMMENT "Packing the images into ${name}"
    VERBATIM)
  add_custom_target(${name}-packed ALL DEPENDS ${packed})
endfunction()
