# Run by CTest with cmake -P: regenerates the pictures and compares them with the committed ones
# (MODE=in_step), or checks how the generator fails (MODE=failures).
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

if(MODE STREQUAL "in_step")
  execute_process(COMMAND ${GENERATOR} ${WORK_DIR} RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the generator failed (${status}): ${err}")
  endif()
  foreach(name first.jpg second.png)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/${name}
                            ${ASSET_DIR}/${name} RESULT_VARIABLE differ)
    if(NOT differ EQUAL 0)
      message(FATAL_ERROR "assets/${name} is not what zv-make-images draws now; regenerate it "
                          "with: zv-make-images assets")
    endif()
  endforeach()

elseif(MODE STREQUAL "failures")
  # Runs the generator on `dir`, which must fail with one line on stderr naming `expected`.
  function(expect_failure dir expected)
    execute_process(COMMAND ${GENERATOR} ${dir} RESULT_VARIABLE status ERROR_VARIABLE err
                    OUTPUT_QUIET)
    if(status EQUAL 0)
      message(FATAL_ERROR "the generator succeeded on ${dir}")
    endif()
    string(REGEX MATCHALL "\n" newlines "${err}")
    list(LENGTH newlines lines)
    if(NOT lines EQUAL 1 OR NOT err MATCHES "${expected}")
      message(FATAL_ERROR "expected one line naming ${expected}, got: ${err}")
    endif()
  endfunction()

  expect_failure(${WORK_DIR}/missing "missing/first\\.jpg")
  if(EXISTS ${WORK_DIR}/missing)
    message(FATAL_ERROR "the generator created the missing directory")
  endif()

  # A directory in the way of the second file: the first lands whole, the second not at all, and
  # no temporary file is left behind.
  file(MAKE_DIRECTORY ${WORK_DIR}/blocked/second.png)
  expect_failure(${WORK_DIR}/blocked "blocked/second\\.png")
  file(GLOB left RELATIVE ${WORK_DIR}/blocked ${WORK_DIR}/blocked/* ${WORK_DIR}/blocked/.*)
  list(SORT left)
  if(NOT left STREQUAL "first.jpg;second.png")
    message(FATAL_ERROR "left in the directory: ${left}")
  endif()
  file(SIZE ${WORK_DIR}/blocked/first.jpg size)
  if(size LESS 1000)
    message(FATAL_ERROR "first.jpg is only ${size} bytes")
  endif()

  execute_process(COMMAND ${GENERATOR} RESULT_VARIABLE status ERROR_QUIET)
  if(status EQUAL 0)
    message(FATAL_ERROR "the generator succeeded without an output directory")
  endif()

else()
  message(FATAL_ERROR "MODE must be in_step or failures")
endif()
