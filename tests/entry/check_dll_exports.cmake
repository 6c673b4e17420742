# Checks the Windows DLL's export and import tables:
#   cmake -DOBJDUMP=<i686-w64-mingw32-objdump> -DMODULE=<elasticpull.p> -P check_dll_exports.cmake
# The export table must name _mod_descrip and nothing else, and the DLL may
# import only DLLs that every Windows has: no MinGW runtime (libgcc_s,
# libstdc++, libwinpthread) may be needed beside it. Nor may it import
# functions that start, end, suspend or steer threads: the module runs on the
# host's thread and starts none, so such an import means a threading runtime
# (the POSIX-model pthread emulation, for one) was linked in.
cmake_minimum_required(VERSION 3.25)

foreach(var OBJDUMP MODULE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_dll_exports: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_dll_exports: ${OBJDUMP} -p ${MODULE} failed (${rc}): ${err}")
endif()

if(NOT dump MATCHES "file format pei-i386")
  message(FATAL_ERROR "check_dll_exports: ${MODULE} is not a 32-bit Windows (pei-i386) image")
endif()

# Exported names: the lines under "[Ordinal/Name Pointer] Table" up to the
# first empty line; the name is the last field of each.
string(REPLACE "\r" "" dump "${dump}")
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
set(in_names FALSE)
set(exports "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names)
    if(line MATCHES "^[ \t]*$")
      set(in_names FALSE)
    elseif(line MATCHES "([^ \t]+)[ \t]*$")
      list(APPEND exports "${CMAKE_MATCH_1}")
    endif()
  endif()
endforeach()

message(STATUS "exports: ${exports}")
if(NOT exports STREQUAL "_mod_descrip")
  message(FATAL_ERROR "check_dll_exports: the export table must hold _mod_descrip alone, it holds: [${exports}]")
endif()

# Imported DLLs.
string(REGEX MATCHALL "DLL Name: [^;]+" imports "${lines}")
list(TRANSFORM imports REPLACE "DLL Name: " "")
list(TRANSFORM imports STRIP)
message(STATUS "imports: ${imports}")
if(NOT imports)
  message(FATAL_ERROR "check_dll_exports: no import table found in the objdump output")
endif()
set(bad "")
foreach(dll IN LISTS imports)
  string(TOLOWER "${dll}" name)
  if(NOT name MATCHES "^(kernel32|msvcrt|ucrtbase|user32|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    list(APPEND bad "${dll}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "check_dll_exports: imports DLLs that are not part of Windows: ${bad}"
                      " (a MinGW runtime DLL means the static link flags were lost)")
endif()

# Imported functions: the "<hint-table vma> <hint> <name>" lines of the import
# tables, from their heading up to the next part of the dump.
set(in_imports FALSE)
set(functions "")
foreach(line IN LISTS lines)
  if(line MATCHES "^The Import Tables")
    set(in_imports TRUE)
  elseif(line MATCHES "^(There is|The |PE File)")
    set(in_imports FALSE)
  elseif(in_imports AND line MATCHES "^[ \t]*[0-9a-fA-F]+[ \t]+[0-9]+[ \t]+([A-Za-z_][A-Za-z0-9_@]*)[ \t]*$")
    list(APPEND functions "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(LENGTH functions function_count)
message(STATUS "imported functions: ${function_count}")
if(function_count EQUAL 0)
  message(FATAL_ERROR "check_dll_exports: no imported function found in the objdump output")
endif()

set(thread_control
    CreateThread CreateRemoteThread CreateRemoteThreadEx ExitThread TerminateThread
    SuspendThread ResumeThread GetThreadContext SetThreadContext SetThreadPriority SetThreadAffinityMask
    _beginthread _beginthreadex _endthread _endthreadex)
set(bad "")
foreach(f IN LISTS functions)
  if(f IN_LIST thread_control OR f MATCHES "^pthread_")
    list(APPEND bad "${f}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "check_dll_exports: imports thread-control functions: ${bad}"
                      " (the module starts no thread: a threading runtime was linked in)")
endif()
