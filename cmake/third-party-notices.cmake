# The notices that the MinGW-w64 runtime and winpthreads, linked into the exe, ask for in every copy: their Debian package's own.
# GCC's runtime libraries are linked in too, but their licence's runtime
# library exception asks for no notice in a program built with them.
find_library(WINPTHREAD_LIBRARY NAMES libwinpthread.a winpthread REQUIRED)
execute_process(COMMAND dpkg-query -S ${WINPTHREAD_LIBRARY}
  OUTPUT_VARIABLE owner OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
string(REGEX REPLACE ":.*" "" package "${owner}")
set(copyright /usr/share/doc/${package}/copyright)
if(NOT package OR NOT EXISTS ${copyright})
  message(FATAL_ERROR "no Debian copyright file for ${WINPTHREAD_LIBRARY}: "
    "the zip could not carry the notices of the code linked into the exe")
endif()
# Only their stanzas of the package's copyright file, and the licences those
# name: not its headers', tools' or packaging's.
execute_process(COMMAND awk -f ${CMAKE_CURRENT_LIST_DIR}/third-party-notices.awk
  ${copyright} OUTPUT_VARIABLE licences COMMAND_ERROR_IS_FATAL ANY)
set(notices "partitions.exe holds code of the MinGW-w64 runtime and of its
winpthreads library, linked in statically. Their copyright and licence
notices follow, as Debian's package ${package} gives them.

${licences}")
string(REPLACE "\n" "\r\n" notices "${notices}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/THIRD-PARTY-NOTICES.txt "${notices}")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/THIRD-PARTY-NOTICES.txt
  DESTINATION .)
