# Run by CTest with cmake -P: validates one packaging file (MODE=desktop, metainfo or man) or
# checks where the files install (MODE=install).
cmake_minimum_required(VERSION 3.25)

# Finds `tool` or ends the check as skipped, which CTest reports by the "skipped: " line.
function(need_tool variable tool)
  find_program(${variable} ${tool})
  if(NOT ${variable})
    message("skipped: ${tool} is not installed")
  endif()
  set(${variable} ${${variable}} PARENT_SCOPE)
endfunction()

# Runs a validator and fails on a non-zero exit or, with `quiet`, on any output at all.
function(expect_clean what quiet)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR (quiet AND NOT "${out}${err}" STREQUAL ""))
    message(FATAL_ERROR "${what} (exit ${status}):\n${out}${err}")
  endif()
endfunction()

if(MODE STREQUAL "desktop")
  need_tool(validator desktop-file-validate)
  if(NOT validator)
    return()
  endif()
  # Hints and warnings still exit with 0; they count as faults here.
  expect_clean("desktop-file-validate objects to ${FILE}" TRUE ${validator} ${FILE})

elseif(MODE STREQUAL "metainfo")
  need_tool(validator appstreamcli)
  if(NOT validator)
    return()
  endif()
  # Pedantic notes (our id has capitals, which the id must keep) are printed but do not fail.
  expect_clean("appstreamcli objects to ${FILE}" FALSE ${validator} validate --no-net --pedantic
               ${FILE})

elseif(MODE STREQUAL "man")
  need_tool(groff groff)
  need_tool(lexgrog lexgrog)
  if(NOT groff OR NOT lexgrog)
    return()
  endif()
  foreach(page zoravarova.1 zoravarova-pack.1)
    # -ww turns on every warning; -z formats without printing, so only warnings come out.
    expect_clean("${page} renders with warnings" TRUE ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
                 ${groff} -man -Tutf8 -ww -z ${DIR}/${page})
    # lexgrog is what mandb uses to find the NAME line for whatis and apropos.
    expect_clean("lexgrog cannot read the NAME section of ${page}" FALSE ${lexgrog}
                 ${DIR}/${page})
  endforeach()

elseif(MODE STREQUAL "install")
  # Installs this folder alone into a prefix of the check's own and lists what landed where.
  file(REMOVE_RECURSE ${WORK_DIR})
  execute_process(COMMAND ${CMAKE_COMMAND} -DCMAKE_INSTALL_PREFIX=${WORK_DIR} -P ${INSTALL_SCRIPT}
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the install failed (${status}): ${err}")
  endif()
  file(GLOB_RECURSE installed RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
  list(SORT installed)
  # Where desktops, software centres and man look for them.
  set(expected
      share/applications/org.zoravarova.Viewer.desktop
      share/icons/hicolor/128x128/apps/org.zoravarova.Viewer.png
      share/icons/hicolor/256x256/apps/org.zoravarova.Viewer.png
      share/icons/hicolor/48x48/apps/org.zoravarova.Viewer.png
      share/man/man1/zoravarova-pack.1
      share/man/man1/zoravarova.1
      share/metainfo/org.zoravarova.Viewer.metainfo.xml)
  if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "installed:\n  ${installed}\nexpected:\n  ${expected}")
  endif()

else()
  message(FATAL_ERROR "MODE must be desktop, metainfo, man or install")
endif()
