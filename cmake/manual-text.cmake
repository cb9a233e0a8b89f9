# Renders the manual page as plain text with CR LF ends for the Windows zip; fails if any step fails or the text is empty.
# usage: cmake -DMANDOC=mandoc -DMANUAL=partitions.1 -DTEXT=partitions.txt -P manual-text.cmake

set(ENV{LC_ALL} C.UTF-8)
# col takes out the overstrikes that mark bold and underlined text.
execute_process(COMMAND "${MANDOC}" -Tutf8 "${MANUAL}" COMMAND col -bx
  OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
if(NOT text MATCHES "[A-Za-z]")
  message(FATAL_ERROR "the manual rendered as no text")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${TEXT}" "${text}")
