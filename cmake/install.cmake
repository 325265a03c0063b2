# Installation: the library with its header, the programs, the documentation,
# and what a downstream project needs to find the library: a CMake package
# configuration (find_package(dorv CONFIG) gives dorv::dorv32) and a
# pkg-config file (dorv32.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS dorv32 EXPORT dorvTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/client/include/dorv32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
foreach(program dorv dorvd)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(WIN32 AND TARGET dorvxll32)
  install(TARGETS dorvxll32 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Documentation and examples, as the source tree has them at installation.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/dorv)
install(EXPORT dorvTargets NAMESPACE dorv:: DESTINATION ${config_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/dorvConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/dorvConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/dorvConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/dorvConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/dorvConfigVersion.cmake
  DESTINATION ${config_dir})

# The .pc file finds its prefix from where it lies, so an installation can be
# moved or staged (DESTDIR, cmake --install --prefix) without rewriting it.
set(pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(pc_prefix "${CMAKE_INSTALL_PREFIX}")
  set(pc_libdir "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(pc_includedir "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH up /root/${pc_dir} /root)
  set(pc_prefix "\${pcfiledir}/${up}")
  set(pc_libdir "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(pc_includedir "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/dorv32.pc.in ${CMAKE_CURRENT_BINARY_DIR}/dorv32.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/dorv32.pc DESTINATION ${pc_dir})
