# Tests of the cross-built Windows programs, run from the Linux build: on with
# -DZV_WINDOWS_BUILD_DIR=<the cross build's folder> and -DZV_WINE_PREFIX=<a prepared Wine prefix>.
set(ZV_WINDOWS_BUILD_DIR "" CACHE PATH "A cross build of the Windows programs, tested under Wine")
set(ZV_WINE_PREFIX "" CACHE PATH "The Wine prefix the Windows programs run in")
if(NOT ZV_WINDOWS_BUILD_DIR)
  return()
endif()
if(NOT ZV_WINE_PREFIX)
  message(FATAL_ERROR "-DZV_WINDOWS_BUILD_DIR needs -DZV_WINE_PREFIX too")
endif()
find_program(ZV_WINE wine DOC "Wine's loader, which runs the Windows programs")
if(NOT ZV_WINE)
  message(FATAL_ERROR "The tests under Wine need Wine's loader, `wine`, which is not on PATH: "
                      "install Wine (scripts/setup-windows.sh does) or pass -DZV_WINE=<its path>")
endif()
target_compile_definitions(pack_pe_test PRIVATE
  ZV_WINDOWS_LINKED_PROBE="${ZV_WINDOWS_BUILD_DIR}/tests/windows/embedded-images-probe-linked.exe"
  ZV_WINDOWS_LINKED_VIEWER="${ZV_WINDOWS_BUILD_DIR}/app/zoravarova-linked.exe")

# zv_add_wine_test(<name> <sources...>): one Wine at a time, since all share one prefix.
function(zv_add_wine_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE zv_x_session zv_pack zv_embedded zv_packed_viewer
                        GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    ZV_WINDOWS_BUILD_DIR="${ZV_WINDOWS_BUILD_DIR}" ZV_WINE_PREFIX="${ZV_WINE_PREFIX}" ZV_WINE="${ZV_WINE}"
    ZV_VIEWER="${PROJECT_BINARY_DIR}/zoravarova" ZV_ASSET_DIR="${PROJECT_SOURCE_DIR}/assets")
  zv_warnings(${name})
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       PROPERTIES ENVIRONMENT "ZV_BUILD_DIR=${PROJECT_BINARY_DIR}"
                                  RESOURCE_LOCK wine LABELS wine
                       DISCOVERY_TIMEOUT 30)
endfunction()

# The installer that scripts/test-windows.sh makes from the cross build with CPack.
set(_zv_installer
    "${ZV_WINDOWS_BUILD_DIR}/cpack/zoravarova-${PROJECT_VERSION}-windows-x86_64-setup.exe")
add_library(zv_wine_install STATIC ${CMAKE_CURRENT_LIST_DIR}/wine_install.cpp)
target_link_libraries(zv_wine_install PRIVATE zv_x_session GTest::gtest)
target_include_directories(zv_wine_install PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(zv_wine_install PRIVATE
  ZV_WINDOWS_INSTALLER="${_zv_installer}" ZV_WINE_PREFIX="${ZV_WINE_PREFIX}" ZV_WINE="${ZV_WINE}"
  ZV_WINDOWS_BUILD_DIR="${ZV_WINDOWS_BUILD_DIR}")
zv_warnings(zv_wine_install)

zv_add_wine_test(wine_probe_test ${CMAKE_CURRENT_LIST_DIR}/wine_probe_test.cpp)
zv_add_wine_test(wine_viewer_test ${CMAKE_CURRENT_LIST_DIR}/wine_viewer_test.cpp)
target_link_libraries(wine_viewer_test PRIVATE zv_wine_install)
zv_add_wine_test(wine_installer_test ${CMAKE_CURRENT_LIST_DIR}/wine_installer_test.cpp)
target_link_libraries(wine_installer_test PRIVATE zv_wine_install)
target_compile_definitions(wine_installer_test PRIVATE ZV_SOURCE_ROOT="${PROJECT_SOURCE_DIR}")

# The viewer's resources, read by icoutils' wrestool; without it the test skips.
find_program(ZV_WRESTOOL wrestool DOC "icoutils' reader of Windows resources")
if(NOT ZV_WRESTOOL)
  set(ZV_WRESTOOL "")
endif()
zv_add_test(windows_resources_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/resources_test.cpp
            LIBS zv_x_session)
target_compile_definitions(windows_resources_test PRIVATE
  ZV_WINDOWS_BUILD_DIR="${ZV_WINDOWS_BUILD_DIR}" ZV_WRESTOOL="${ZV_WRESTOOL}"
  ZV_WINDOWS_ICON="${PROJECT_BINARY_DIR}/packaging/icons/zoravarova.ico"
  ZV_LICENSE="${PROJECT_SOURCE_DIR}/LICENSE" ZV_PROJECT_VERSION="${PROJECT_VERSION}")
