# What the folders with tests share: GoogleTest programs under CTest, and the recording fake GL.
include(GoogleTest)

# zv_add_test(<name> SOURCES <files...> LIBS <targets...> [PREFIX <p>]): a GoogleTest program whose
# tests run in its build folder and learn the build root from ZV_BUILD_DIR; PREFIX names its tests
# apart from another program's built from the same sources. GTest is found in each folder that
# adds one, since its targets are seen only there and below.
function(zv_add_test name)
  cmake_parse_arguments(ARG "" "PREFIX" "SOURCES;LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  zv_warnings(${name})
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} TEST_PREFIX "${ARG_PREFIX}"
                       PROPERTIES ENVIRONMENT "ZV_BUILD_DIR=${PROJECT_BINARY_DIR}"
                       DISCOVERY_TIMEOUT 30)
endfunction()

# zv_fake_gl_library(): zv_fake_gl, a recording stand-in for GL loaded through glad, for GL code
# run without a display. The tests and the fuzz targets both ask for it; it is made once.
function(zv_fake_gl_library)
  if(TARGET zv_fake_gl)
    return()
  endif()
  add_library(zv_fake_gl STATIC ${PROJECT_SOURCE_DIR}/tests/fake_gl.cpp)
  target_include_directories(zv_fake_gl PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(zv_fake_gl PUBLIC glad_gl)
  zv_warnings(zv_fake_gl)
endfunction()
