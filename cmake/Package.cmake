# CPack settings for the Debian package of the viewer and its packer, and (in the Windows cross
# build) the Windows installer; scripts/package.sh runs them.
if(WIN32)
  # The Windows installer; the Windows zip is put together by scripts/package.sh.
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsInstaller.cmake)
  return()
endif()
if(EMSCRIPTEN)
  # The web zip is put together by scripts/package.sh from the browser build.
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zoravarova)
set(CPACK_PACKAGE_VENDOR "The zoravarova developers")
set(CPACK_PACKAGE_CONTACT "The zoravarova developers <developers@zoravarova.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://zoravarova.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small OpenGL 3.3 viewer of a field of textured cubes")
# Lines of at most 80 columns, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "zoravarova opens one window showing a fixed field of 1019 textured cubes,
turned with the captured mouse inside fixed angle windows. The two pictures
on the cubes travel inside the executable itself.
.
The package also holds zoravarova-pack, the tool that appends the pictures to
a linked viewer, for those who strip the viewer and pack it again.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CPACK_PACKAGE_HOMEPAGE_URL}")
# dpkg-shlibdeps reads the dependencies off the binaries; no list is written by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The viewer's pictures lie after its last section: stripping it here would drop them. It is
# installed stripped and packed already; the packer is stripped by the script below.
set(CPACK_STRIP_FILES OFF)
# Modes that do not follow the umask of whoever builds the package.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

# Only CPACK_ variables reach the scripts CPack runs.
# Run in the staging tree before the .deb is made: Debian's copyright and changelog, gzipped man
# pages, the packer stripped.
set(CPACK_ZV_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(CPACK_ZV_DOCDIR ${CMAKE_INSTALL_DOCDIR})
set(CPACK_ZV_MANDIR ${CMAKE_INSTALL_MANDIR})
set(CPACK_ZV_BINDIR ${CMAKE_INSTALL_BINDIR})
set(CPACK_ZV_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/debian/stage.cmake)
include(CPack)
