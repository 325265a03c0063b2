# dorv32_resources(target): the library's resources (string table, dialog
# templates, version) compiled into a Windows target. windres writes no
# dependency file, so the included parts are named as dependencies here.
function(dorv32_resources target)
  set(resources ${PROJECT_SOURCE_DIR}/client/resources)
  file(GLOB parts ${resources}/*.rc ${resources}/*.inc)
  target_sources(${target} PRIVATE ${resources}/dorv32.rc)
  # The version comes from the header that cmake/version.cmake makes.
  set_source_files_properties(${resources}/dorv32.rc PROPERTIES
    INCLUDE_DIRECTORIES "${resources};${PROJECT_BINARY_DIR}/generated"
    OBJECT_DEPENDS "${parts};${DORV_VERSION_HEADER}")
endfunction()
