# The licence and the changelog in the forms Debian reads, installed where it looks for them.

# The licence as a machine-readable copyright file.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${licence}")
set(holder ${CMAKE_MATCH_1})
string(REGEX REPLACE "^.*${holder}\n\n" "" terms "${licence}")
string(STRIP "${terms}" terms)
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms "${terms}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright "\
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}

Files: *
Copyright: ${holder}
License: ISC
 ${terms}
")

# CHANGELOG.md in Debian's changelog format, which a native package's
# changelog.gz must have; CPack compresses it.
add_custom_command(OUTPUT changelog
  COMMAND awk -v package=${PROJECT_NAME} -v version=${PROJECT_VERSION}
    -v "maintainer=${CPACK_PACKAGE_CONTACT}"
    -f ${CMAKE_CURRENT_LIST_DIR}/debian-changelog.awk ${PROJECT_SOURCE_DIR}/CHANGELOG.md > changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_LIST_DIR}/debian-changelog.awk
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS changelog)

install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
