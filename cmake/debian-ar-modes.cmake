# Run by CPack after it builds the Debian package: gives its three ar members mode 0644, which CPack would take from the builder's umask.
# An ar member's 60-byte header holds its mode at byte 40 and its size at
# byte 48; the members follow the 8-byte "!<arch>\n", each padded to an
# even length.
set(mode "${CPACK_TOPLEVEL_DIRECTORY}/ar-mode")
file(WRITE "${mode}" "100644  ")
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  file(SIZE "${deb}" end)
  set(header 8)
  while(header LESS end)
    math(EXPR mode_at "${header} + 40")
    math(EXPR size_at "${header} + 48")
    file(READ "${deb}" size OFFSET ${size_at} LIMIT 10)
    string(STRIP "${size}" size)
    execute_process(COMMAND dd "of=${deb}" bs=1 seek=${mode_at} conv=notrunc
      status=none INPUT_FILE "${mode}" COMMAND_ERROR_IS_FATAL ANY)
    math(EXPR header "${header} + 60 + ${size} + ${size} % 2")
  endwhile()
endforeach()
