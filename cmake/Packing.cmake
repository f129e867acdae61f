# Packing the two images into a linked executable: always the last step, after linking.
set(ZV_FIRST_IMAGE ${PROJECT_SOURCE_DIR}/assets/first.jpg)
set(ZV_SECOND_IMAGE ${PROJECT_SOURCE_DIR}/assets/second.png)

# zv_pack_executable(<linked target> <name>): writes the packed copy as <build root>/<name>.
# Stripping drops the appended images, so nothing may strip or relink the packed file after this.
# A cross build cannot run the packer it would build, so it takes one built for the host.
if(CMAKE_CROSSCOMPILING)
  set(ZV_HOST_PACKER "" CACHE FILEPATH "zoravarova-pack built for the host, to pack cross-built programs")
  if(NOT EXISTS "${ZV_HOST_PACKER}")
    message(FATAL_ERROR "A cross build needs -DZV_HOST_PACKER=<zoravarova-pack built for the host>")
  endif()
  set(_zv_packer ${ZV_HOST_PACKER})
else()
  set(_zv_packer zoravarova-pack)
endif()

function(zv_pack_executable linked name)
  set(packed ${PROJECT_BINARY_DIR}/${name})
  add_custom_command(
    OUTPUT ${packed}
    COMMAND ${_zv_packer} $<TARGET_FILE:${linked}> ${ZV_FIRST_IMAGE} ${ZV_SECOND_IMAGE} ${packed}
    DEPENDS ${linked} ${_zv_packer} ${ZV_FIRST_IMAGE} ${ZV_SECOND_IMAGE}
    COMMENT "Packing the images into ${name}"
    VERBATIM)
  add_custom_target(${name}-packed ALL DEPENDS ${packed})
endfunction()
