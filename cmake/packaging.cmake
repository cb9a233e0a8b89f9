# What a user installs: the program, its manual, licence and changelog, as a Debian package or a Windows zip.
include(GNUInstallDirs)
configure_file(partitions.1.in partitions.1 @ONLY)
set(manual ${CMAKE_CURRENT_BINARY_DIR}/partitions.1)

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/dist)
set(CPACK_PARTITIONS_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/source-date-epoch.cmake)
# Modes are set, not left to the builder's umask: 0755 for directories and
# programs, 0644 for the rest.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE
  OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Stripped, as users get programs: the symbols are for a debugger.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT
  "partitions maintainers <maintainers@users.noreply.c-seed-9eb59dcf.example>")

if(WIN32)
  # Unpacked anywhere, a folder with the program and, as CR LF text for
  # Notepad, a README for Windows, the manual (rendered beforehand, so that
  # no Windows host needs mandoc), the licence, the changelog and the
  # notices of what is linked into the exe.
  install(TARGETS partitions RUNTIME DESTINATION .)
  configure_file(cmake/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(partitions.txt partitions.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(CHANGELOG.md CHANGELOG.txt @ONLY NEWLINE_STYLE CRLF)
  foreach(text README partitions LICENSE CHANGELOG)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${text}.txt DESTINATION .)
  endforeach()
  if(MINGW)
    include(${CMAKE_CURRENT_LIST_DIR}/third-party-notices.cmake)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS partitions)
  install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  include(${CMAKE_CURRENT_LIST_DIR}/debian-docs.cmake)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME partitions)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Asks for a number N from 0 to 200 and writes every partition of N, every
way of writing it as a sum of positive integers, one line each with its
parts largest first, in reverse lexicographic order, then their count.
Every line goes to the console and to the result file ../yorv-.txt as soon
as it is found.")
  set(CPACK_PARTITIONS_STRIP ${CMAKE_STRIP})
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian-staging.cmake)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian-ar-modes.cmake)
endif()
# No source package: git archive makes the one that is the source, while
# CPack's would take whatever lies in the tree, builds included. Without its
# configuration file, CMake makes no package_source target.
set(CPACK_SOURCE_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackSourceConfig.unused)
file(REMOVE ${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake)
include(CPack)
