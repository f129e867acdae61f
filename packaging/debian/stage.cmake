# Run by CPack in the staging tree: adds what a Debian package carries beyond `cmake --install`.
# CPack runs dpkg-shlibdeps in the staging tree and removes its debian/ folder afterwards, so the
# shlibs.local placed there is read and never packed: GLFW's X11 and Wayland builds share one
# soname, and either serves.
file(COPY ${CPACK_ZV_DEBIAN_DIR}/shlibs.local DESTINATION ${CPACK_TEMPORARY_DIRECTORY}/debian)

set(root ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
if(NOT IS_DIRECTORY ${root}/${CPACK_ZV_BINDIR})
  message(FATAL_ERROR "no staged install under ${root}")
endif()
find_program(GZIP gzip REQUIRED)

set(doc ${root}/${CPACK_ZV_DOCDIR})
file(COPY ${CPACK_ZV_DEBIAN_DIR}/copyright DESTINATION ${doc}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(COPY ${CPACK_ZV_DEBIAN_DIR}/changelog DESTINATION ${doc}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# -n leaves out the name and time, so the same sources give the same package.
execute_process(COMMAND ${GZIP} -9nf ${doc}/changelog COMMAND_ERROR_IS_FATAL ANY)

file(GLOB pages ${root}/${CPACK_ZV_MANDIR}/man1/*.1)
if(NOT pages)
  message(FATAL_ERROR "no man pages staged under ${root}/${CPACK_ZV_MANDIR}/man1")
endif()
foreach(page IN LISTS pages)
  execute_process(COMMAND ${GZIP} -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# Only the packer: the viewer carries its pictures after its sections and is stripped already.
execute_process(COMMAND ${CPACK_ZV_STRIP} --strip-unneeded --remove-section=.comment
                        --remove-section=.note ${root}/${CPACK_ZV_BINDIR}/zoravarova-pack
                COMMAND_ERROR_IS_FATAL ANY)
