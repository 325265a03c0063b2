# The release's one version: project(dorv VERSION MAJOR.MINOR) in the top
# CMakeLists.txt. Everything that names it takes it from there: the version
# resources of dorv32.dll, DORV32.XLL and dorv.exe through the header made
# here, dorv and dorvd --version, the shared object's name, the pkg-config and
# CMake package files through PROJECT_VERSION, and scripts/make-dist.sh and
# packaging/make-msi.sh (zip, installer) from the project() line itself.
#
# MAJOR.MINOR, each 0 to 99 without leading zeros: "2.10" is FILEVERSION
# 2,10,0,0, and the add-in's product version text is "A.02.10".
if(NOT PROJECT_VERSION MATCHES "^(0|[1-9][0-9]?)\\.(0|[1-9][0-9]?)$")
  message(FATAL_ERROR "project(dorv VERSION ${PROJECT_VERSION}): the version must be MAJOR.MINOR, "
    "each 0 to 99 without leading zeros")
endif()
foreach(part MAJOR MINOR)
  set(two_digits ${PROJECT_VERSION_${part}})
  if(two_digits LESS 10)
    set(two_digits "0${two_digits}")
  endif()
  set(DORV_VERSION_${part}_2 ${two_digits})
endforeach()
set(DORV_ADDIN_PRODUCT_VERSION "A.${DORV_VERSION_MAJOR_2}.${DORV_VERSION_MINOR_2}")

set(DORV_VERSION_HEADER ${PROJECT_BINARY_DIR}/generated/dorv_version.h)
configure_file(${CMAKE_CURRENT_LIST_DIR}/dorv_version.h.in ${DORV_VERSION_HEADER} @ONLY)

# dorv_version_resource(target script.rc): a resource script that includes
# "dorv_version.h". windres writes no dependency file, so the header is named
# as a dependency here: a new version rebuilds the resources.
function(dorv_version_resource target script)
  target_sources(${target} PRIVATE ${script})
  set_source_files_properties(${script} PROPERTIES INCLUDE_DIRECTORIES ${PROJECT_BINARY_DIR}/generated
    OBJECT_DEPENDS ${DORV_VERSION_HEADER})
endfunction()
