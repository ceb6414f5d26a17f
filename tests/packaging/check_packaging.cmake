# Checks one part of what a build ships. Run by CTest (see CMakeLists.txt beside it) as
#   cmake -DCHECK=plist|install|archive -DBUILD_DIR=... -P check_packaging.cmake

function(fail)
  string(JOIN "" message ${ARGN})
  message(FATAL_ERROR "${message}")
endfunction()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    string(JOIN " " command ${ARGN})
    fail("${command} failed (${status}):\n${out}")
  endif()
endfunction()

# Every regular file under DIR, relative to it, sorted: the entries of a tar archive made of it,
# without the directories.
function(files_under dir result)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${work}/listing.tar" .
    WORKING_DIRECTORY "${dir}" RESULT_VARIABLE status)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar tf "${work}/listing.tar"
    OUTPUT_VARIABLE listing)
  if(NOT status EQUAL 0)
    fail("cannot list ${dir}")
  endif()
  string(REPLACE "\n" ";" entries "${listing}")
  set(found "")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^\\./" "" entry "${entry}")
    if(NOT entry STREQUAL "" AND NOT entry MATCHES "/$" AND NOT IS_DIRECTORY "${dir}/${entry}")
      list(APPEND found "${entry}")
    endif()
  endforeach()
  list(SORT found)
  set(${result} "${found}" PARENT_SCOPE)
endfunction()

# The agent found under ROOT must run and print the built agent's version line.
function(check_agent root)
  set(agent "${root}/bin/mac-input-injector")
  execute_process(COMMAND "${AGENT}" --version OUTPUT_VARIABLE expected)
  execute_process(COMMAND "${agent}" --version RESULT_VARIABLE status OUTPUT_VARIABLE actual)
  if(NOT status EQUAL 0 OR NOT actual STREQUAL expected OR expected STREQUAL "")
    fail("${agent} --version gave \"${actual}\" (status ${status}), the build's \"${expected}\"")
  endif()
endfunction()

function(check_layout root)
  files_under("${root}" found)
  string(REPLACE "," ";" expected "${EXPECTED_FILES}")
  if(NOT found STREQUAL expected)
    fail("${root} holds\n  ${found}\nnot\n  ${expected}")
  endif()
  check_agent("${root}")
endfunction()

set(work "${WORK_DIR}/${CHECK}")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

if(CHECK STREQUAL "plist")
  file(READ "${PLIST}" plist)
  if(NOT plist MATCHES "^<\\?xml version=\"1\\.0\" encoding=\"UTF-8\"\\?>\n<!DOCTYPE plist ")
    fail("Info.plist does not start as an XML property list")
  endif()
  string(REGEX MATCHALL "<key>[^<]*</key>[ \t\n]*<string>[^<]*</string>" pairs "${plist}")
  set(entries "")
  foreach(pair IN LISTS pairs)
    string(REGEX REPLACE "<key>([^<]*)</key>[ \t\n]*<string>([^<]*)</string>" "\\1=\\2" entry
      "${pair}")
    list(APPEND entries "${entry}")
  endforeach()
  list(SORT entries)
  set(expected
    "CFBundleIdentifier=${BUNDLE_ID}"
    "CFBundleInfoDictionaryVersion=6.0"
    "CFBundleName=${NAME}"
    "CFBundleShortVersionString=${VERSION}"
    "CFBundleVersion=${VERSION}")
  string(REGEX MATCHALL "<key>" keys "${plist}")
  list(LENGTH keys key_count)
  if(NOT entries STREQUAL expected OR NOT key_count EQUAL 5)
    fail("Info.plist holds\n  ${entries}\nnot\n  ${expected}")
  endif()
  find_program(PLUTIL plutil)
  if(PLUTIL)
    run("${PLUTIL}" -lint "${PLIST}")
  endif()

elseif(CHECK STREQUAL "install")
  run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${work}/prefix" --config "${CONFIG}")
  check_layout("${work}/prefix")

elseif(CHECK STREQUAL "archive")
  execute_process(COMMAND "${CPACK}" -G TGZ -C "${CONFIG}" -B "${work}"
    WORKING_DIRECTORY "${BUILD_DIR}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    fail("cpack failed (${status}):\n${out}")
  endif()
  # CPack names each package it writes: "CPack: - package: PATH generated."
  string(REGEX MATCHALL "package: [^\n]*\\.tar\\.gz generated" written "${out}")
  set(archives "")
  foreach(line IN LISTS written)
    string(REGEX REPLACE "^package: (.*) generated$" "\\1" path "${line}")
    get_filename_component(name "${path}" NAME)
    list(APPEND archives "${name}")
  endforeach()
  set(pattern "^${NAME}-${VERSION}-${SYSTEM}(-simulated)?-([A-Za-z0-9_]+)\\.tar\\.gz$")
  list(LENGTH archives archive_count)
  if(NOT archive_count EQUAL 1 OR NOT archives MATCHES "${pattern}")
    fail("cpack wrote \"${archives}\", not one ${NAME}-${VERSION}-${SYSTEM}-<arch>.tar.gz")
  endif()
  if(NOT SYSTEM STREQUAL "Darwin" AND NOT CMAKE_MATCH_2 STREQUAL PROCESSOR)
    fail("${archives} names the architecture ${CMAKE_MATCH_2}, not ${PROCESSOR}")
  endif()
  string(REGEX REPLACE "\\.tar\\.gz$" "" top "${archives}")
  file(ARCHIVE_EXTRACT INPUT "${work}/${archives}" DESTINATION "${work}/unpacked")
  files_under("${work}/unpacked" everything)
  list(FILTER everything EXCLUDE REGEX "^${top}/")
  if(everything)
    fail("${archives} holds files outside ${top}/: ${everything}")
  endif()
  check_layout("${work}/unpacked/${top}")

else()
  fail("CHECK must be plist, install or archive, not \"${CHECK}\"")
endif()
