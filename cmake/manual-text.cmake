# Renders the manual page as plain text, the manual that the Windows zip carries; fails if any step fails or the text is empty.
# usage: cmake -DMANDOC=mandoc -DMANUAL=build/partitions.1 -DTEXT=partitions.txt -P cmake/manual-text.cmake
# The text is kept in the source, so that a Windows host needs no mandoc:
# CI renders it again and fails when the two differ.

set(ENV{LC_ALL} C.UTF-8)
# col takes out the overstrikes that mark bold and underlined text.
execute_process(COMMAND "${MANDOC}" -Tutf8 "${MANUAL}" COMMAND col -bx
  OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
if(NOT text MATCHES "[A-Za-z]")
  message(FATAL_ERROR "the manual rendered as no text")
endif()
file(WRITE "${TEXT}" "${text}")
