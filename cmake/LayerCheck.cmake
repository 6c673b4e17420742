# ep_enforce_layer(TARGET MAY_INCLUDE prefix...): before TARGET is compiled, its
# sources and the headers of their folders are checked to include nothing but
# their own folder's headers and the given prefixes (see
# check_layer_includes.cmake). An include of a higher layer, or of the
# module's internals from the stand-in host, stops the build with the file and
# line.
#
# ep_enforce_folder(TARGET FOLDER folder MAY_INCLUDE prefix...): the same for
# one folder of a target made of several layers (the module's folders), before
# TARGET is compiled.
set(EP_LAYER_CHECK_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_layer_includes.cmake)

# Adds the check of `files` as `name`, run before `target` is compiled.
function(_ep_check_includes target name files allowed_prefixes)
  list(REMOVE_DUPLICATES files)
  list(JOIN files "\n" file_text)
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.layer-files)
  file(CONFIGURE OUTPUT ${list_file} CONTENT "${file_text}\n")
  list(JOIN allowed_prefixes "|" allowed)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}.layer-checked)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DLAYER=${name} -DFILE_LIST=${list_file} -DALLOWED=${allowed}
            -P ${EP_LAYER_CHECK_SCRIPT}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${files} ${list_file} ${EP_LAYER_CHECK_SCRIPT}
    COMMENT "Checking the includes of the ${name} layer"
    VERBATIM)
  add_custom_target(${name}_layer_check DEPENDS ${stamp})
  add_dependencies(${target} ${name}_layer_check)
endfunction()

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
  _ep_check_includes(${target} ${target} "${files}" "${LAYER_MAY_INCLUDE}")
endfunction()

function(ep_enforce_folder target)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "FOLDER" "MAY_INCLUDE")
  file(GLOB files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${LAYER_FOLDER}/*.h
                                    ${PROJECT_SOURCE_DIR}/${LAYER_FOLDER}/*.cpp)
  string(MAKE_C_IDENTIFIER "${target}_${LAYER_FOLDER}" name)
  _ep_check_includes(${target} ${name} "${files}" "${LAYER_MAY_INCLUDE}")
endfunction()
