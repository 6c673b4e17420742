# Checks the Linux module's dynamic symbol table:
#   cmake -DNM=<nm> -DMODULE=<elasticpull.p> -P check_so_exports.cmake
# The only symbol the module defines for others to see is _mod_descrip; all
# else stays hidden behind the version script.
foreach(var NM MODULE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_so_exports: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${NM} -D --defined-only ${MODULE} OUTPUT_VARIABLE dump ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_so_exports: ${NM} -D --defined-only ${MODULE} failed (${rc}): ${err}")
endif()

# Lines are "<address> <type> <name>[@version]".
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
set(defined "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]*[ \t]+([A-Za-z])[ \t]+([^ \t@]+)")
    list(APPEND defined "${CMAKE_MATCH_2}")
    message(STATUS "defined: ${CMAKE_MATCH_2} (${CMAKE_MATCH_1})")
  endif()
endforeach()

if(NOT defined STREQUAL "_mod_descrip")
  message(FATAL_ERROR "check_so_exports: the module must define _mod_descrip alone in its dynamic symbol table, it defines: [${defined}]")
endif()
