# dorv_def_for_target(<out-var> <def-file> [NAME <file name>]): the module
# definitions file to link with. The sources hold 32-bit __stdcall names
# (`name = name@N @ordinal` for exports, `name@N @ordinal` for imports); a
# 64-bit build has no decoration, so it gets a copy in the binary folder
# without it (named NAME, default <stem>_x64.def). A 32-bit build uses the file
# itself. Either way an edit of the file re-runs the configuration.
function(dorv_def_for_target out_var def_file)
  cmake_parse_arguments(D "" "NAME" "" ${ARGN})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file})
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(${out_var} ${def_file} PARENT_SCOPE)
    return()
  endif()
  if(NOT D_NAME)
    get_filename_component(stem ${def_file} NAME_WE)
    set(D_NAME ${stem}_x64.def)
  endif()
  file(READ ${def_file} def_text)
  string(REGEX REPLACE "([A-Za-z_0-9]+)( = [A-Za-z_0-9]+)?@[0-9]+ @" "\\1 @" def_text "${def_text}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${D_NAME} "${def_text}")
  set(${out_var} ${CMAKE_CURRENT_BINARY_DIR}/${D_NAME} PARENT_SCOPE)
endfunction()
