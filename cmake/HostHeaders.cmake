# glm and stb_image for a cross build, from the host's Debian packages. Their folders are linked
# into the build tree one by one, because putting the host's /usr/include itself on the path would
# let its C library headers shadow the cross compiler's own.
set(ZV_HOST_INCLUDE_DIR /usr/include CACHE PATH "Where the host's glm and stb headers live")
set(_zv_headers ${CMAKE_BINARY_DIR}/host-headers)
foreach(library glm stb)
  if(NOT EXISTS ${ZV_HOST_INCLUDE_DIR}/${library})
    message(FATAL_ERROR "${ZV_HOST_INCLUDE_DIR}/${library} is missing: install Debian's lib${library}-dev")
  endif()
  file(MAKE_DIRECTORY ${_zv_headers}/${library}-root)
  file(CREATE_LINK ${ZV_HOST_INCLUDE_DIR}/${library} ${_zv_headers}/${library}-root/${library} SYMBOLIC)
endforeach()

add_library(glm::glm INTERFACE IMPORTED)
set_target_properties(glm::glm PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_zv_headers}/glm-root)
set(STB_INCLUDE_DIR ${_zv_headers}/stb-root/stb)
