# The generator of the two committed pictures, and the tests that keep them in step with it.
add_executable(zv-make-images ${CMAKE_CURRENT_LIST_DIR}/make_images.cpp)
target_include_directories(zv-make-images SYSTEM PRIVATE ${STB_INCLUDE_DIR})
target_include_directories(zv-make-images PRIVATE ${PROJECT_SOURCE_DIR})
zv_warnings(zv-make-images)

if(ZV_BUILD_TESTS)
  set(_zv_images_script ${CMAKE_CURRENT_LIST_DIR}/check_images.cmake)
  add_test(NAME images_in_step
           COMMAND ${CMAKE_COMMAND} -DMODE=in_step -DGENERATOR=$<TARGET_FILE:zv-make-images>
                   -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/images_in_step
                   -DASSET_DIR=${PROJECT_SOURCE_DIR}/assets -P ${_zv_images_script})
  add_test(NAME images_failures
           COMMAND ${CMAKE_COMMAND} -DMODE=failures -DGENERATOR=$<TARGET_FILE:zv-make-images>
                   -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/images_failures -P ${_zv_images_script})
endif()
