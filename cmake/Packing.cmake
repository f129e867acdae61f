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

# zv_pack_stripped_executable(<linked target> <name>): the copy that gets installed, written as
# <build root>/install/<name>. A stripped copy of the linked file is packed, in that order, since
# strip keeps nothing after the last section; the strip comes from the toolchain (CMAKE_STRIP),
# the cross one in a cross build. The packed copy in the build root keeps its symbols for the tests
# and the debugger.
function(zv_pack_stripped_executable linked name)
  if(NOT CMAKE_STRIP)
    message(FATAL_ERROR "Installing the viewer needs a strip program (CMAKE_STRIP)")
  endif()
  set(dir ${PROJECT_BINARY_DIR}/install)
  set(stripped ${dir}/${name}.stripped)
  set(packed ${dir}/${name})
  add_custom_command(
    OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_STRIP} --strip-all -o ${stripped} $<TARGET_FILE:${linked}>
    COMMAND ${_zv_packer} ${stripped} ${ZV_FIRST_IMAGE} ${ZV_SECOND_IMAGE} ${packed}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${stripped}
    DEPENDS ${linked} ${_zv_packer} ${ZV_FIRST_IMAGE} ${ZV_SECOND_IMAGE}
    COMMENT "Stripping, then packing the images into install/${name}"
    VERBATIM)
  add_custom_target(${name}-installed ALL DEPENDS ${packed})
endfunction()
