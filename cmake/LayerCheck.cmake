# ep_enforce_layer(TARGET MAY_INCLUDE prefix...): before TARGET is compiled, its
# sources and the headers of their folders are checked to include nothing but
# their own folder's headers and the given prefixes (see
# check_layer_includes.cmake). An include of a higher layer, or of the
# module's internals from the stand-in host, stops the build with the file and
# line.
set(EP_LAYER_CHECK_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_layer_includes.cmake)

function(ep_enforce_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "MAY_INCLUDE")
  get_target_property(folder ${target} SOURCE_DIR)
  get_target_property(sources ${target} SOURCES)
  # The headers of every folder that holds one of the target's sources.
  set(headers "")
  foreach(source IN LISTS sources)
    get_filename_component(path "${source}" ABSOLUTE BASE_DIR "${folder}")
    get_filename_component(source_folder "${path}" DIRECTORY)
    file(GLOB folder_headers CONFIGURE_DEPENDS ${source_folder}/*.h)
    list(APPEND headers ${folder_headers})
  endforeach()
  set(files "")
  foreach(source IN LISTS sources headers)
    get_filename_component(path "${source}" ABSOLUTE BASE_DIR "${folder}")
    # Generated files (in the build tree) are not checked.
    if(path MATCHES "\\.(c|cpp|h)$" AND NOT path MATCHES "^${PROJECT_BINARY_DIR}/")
      list(APPEND files "${path}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES files)
  list(JOIN files "\n" file_text)
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.layer-files)
  file(CONFIGURE OUTPUT ${list_file} CONTENT "${file_text}\n")
  list(JOIN LAYER_MAY_INCLUDE "|" allowed)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.layer-checked)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DLAYER=${target} -DFILE_LIST=${list_file} -DALLOWED=${allowed}
            -P ${EP_LAYER_CHECK_SCRIPT}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${files} ${list_file} ${EP_LAYER_CHECK_SCRIPT}
    COMMENT "Checking the includes of the ${target} layer"
    VERBATIM)
  add_custom_target(${target}_layer_check DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layer_check)
endfunction()
