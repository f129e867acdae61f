# The browser build's own settings: Emscripten's GLFW on a WebGL 2 context, and the page's files.
option(ZV_WEB_PACK "Pack the pictures into the .wasm (needs ZV_HOST_PACKER)" ON)

# Emscripten brings GLFW itself; one flag links it, and the version flags turn the 3.3 core hints
# into a WebGL 2 context (WebGL 1 otherwise).
add_library(glfw INTERFACE)
target_link_options(glfw INTERFACE -sUSE_GLFW=3 -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2)

# The viewer's link for the page. ASYNCIFY lets the frame loop give the browser its turn inside
# glfwPollEvents (web/library_zoravarova.js) and keeps runViewer the same as on the desktop; the
# runtime exits when main returns, so the page sees the exit code. main, runViewer and runFrame
# reach glfwPollEvents by direct calls only, so calls through pointers are left uninstrumented: the
# .wasm then grows by 1% for ASYNCIFY instead of 58%.
function(zv_web_link linked)
  set(library ${PROJECT_SOURCE_DIR}/web/library_zoravarova.js)
  set_target_properties(${linked} PROPERTIES OUTPUT_NAME zoravarova SUFFIX .js
                                             RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/linked)
  target_link_options(${linked} PRIVATE -sASYNCIFY -sASYNCIFY_IGNORE_INDIRECT
                      -sASYNCIFY_IMPORTS=[glfwPollEvents]
                      --js-library=${library} -sEXIT_RUNTIME=1 -sENVIRONMENT=web)
  set_property(TARGET ${linked} APPEND PROPERTY LINK_DEPENDS ${library})
endfunction()

# The page in the build root: index.html, the script, and the .wasm packed with the pictures as
# the last step, or copied as linked without them when ZV_WEB_PACK is off.
function(zv_web_page linked)
  set(linkedWasm ${PROJECT_BINARY_DIR}/linked/zoravarova.wasm)
  set(wasm ${PROJECT_BINARY_DIR}/zoravarova.wasm)
  if(ZV_WEB_PACK)
    set(wasmStep ${_zv_packer} ${linkedWasm} ${ZV_FIRST_IMAGE} ${ZV_SECOND_IMAGE} ${wasm})
    set(wasmInputs ${_zv_packer} ${ZV_FIRST_IMAGE} ${ZV_SECOND_IMAGE})
  else()
    set(wasmStep ${CMAKE_COMMAND} -E copy ${linkedWasm} ${wasm})
    set(wasmInputs)
  endif()
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/index.html ${PROJECT_BINARY_DIR}/zoravarova.js ${wasm}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/web/index.html ${PROJECT_BINARY_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${linked}> ${PROJECT_BINARY_DIR}
    COMMAND ${wasmStep}
    DEPENDS ${linked} ${PROJECT_SOURCE_DIR}/web/index.html ${wasmInputs}
    COMMENT "Putting the page together in the build root"
    VERBATIM)
  add_custom_target(web-page ALL DEPENDS ${PROJECT_BINARY_DIR}/index.html)
endfunction()
