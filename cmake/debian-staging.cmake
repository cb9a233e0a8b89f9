# Run by CPack before it builds the Debian package: finishes the staged files as Debian's own tools would.

# Stripped by CPack already; the compiler's notes go too, as dh_strip does.
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_PARTITIONS_STRIP}" --remove-section=.comment
    --remove-section=.note "${program}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# Manual pages and changelogs are kept compressed.
file(GLOB_RECURSE docs "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man*/*.[1-9]"
  "${CPACK_TEMPORARY_DIRECTORY}/*/share/doc/*/changelog")
foreach(doc IN LISTS docs)
  execute_process(COMMAND gzip -9n "${doc}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# Directories as Debian has them, whatever the builder's umask made them.
file(GLOB_RECURSE dirs LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(dir IN LISTS dirs)
  if(IS_DIRECTORY "${dir}")
    file(CHMOD "${dir}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE
      OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
