# Checks that the files of one layer include only what that layer may see.
#
#   cmake -DLAYER=<name> -DFILE_LIST=<file holding one path a line> -DALLOWED=<a|b|c>
#         [-DSOURCE_DIR=<folder relative paths in the list start from>] -P check_layer_includes.cmake
#
# Each `#include "..."` must either name a file beside the including file (a
# header of the same folder) or start with one of the ALLOWED prefixes, such
# as `standin/host/` or `host/host_abi.h`. Anything else fails with the file,
# the line and what the layer may include. Angle-bracket includes (the system
# and third-party libraries) are not checked.
foreach(var LAYER FILE_LIST ALLOWED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_layer_includes: ${var} is not set")
  endif()
endforeach()

string(REPLACE "|" ";" allowed "${ALLOWED}")
file(STRINGS "${FILE_LIST}" files)
set(violations "")
foreach(file IN LISTS files)
  if(DEFINED SOURCE_DIR AND NOT IS_ABSOLUTE "${file}")
    set(file "${SOURCE_DIR}/${file}")
  endif()
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "check_layer_includes: no such file ${file}")
  endif()
  get_filename_component(folder "${file}" DIRECTORY)
  # One list element a line (semicolons hidden first, so they do not split).
  file(READ "${file}" text)
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      continue()
    endif()
    set(included "${CMAKE_MATCH_1}")
    if(NOT included MATCHES "/" AND EXISTS "${folder}/${included}")
      continue()  # a header of the same folder
    endif()
    set(ok FALSE)
    foreach(prefix IN LISTS allowed)
      string(LENGTH "${prefix}" length)
      string(SUBSTRING "${included}" 0 ${length} head)
      if(head STREQUAL prefix)
        set(ok TRUE)
        break()
      endif()
    endforeach()
    if(NOT ok)
      string(APPEND violations "\n  ${file}:${number}: includes \"${included}\"")
    endif()
  endforeach()
endforeach()

if(violations)
  string(REPLACE ";" ", " shown "${allowed}")
  message(FATAL_ERROR "the ${LAYER} layer includes what it may not see:${violations}\n"
                      "It may include only headers of its own folder and: ${shown}")
endif()
