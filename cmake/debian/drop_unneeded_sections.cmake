# Run by CPack on the staged files before it makes the Debian package: takes
# the sections that a stripped program has no use for out of every ELF file,
# as Debian's own packaging does. .comment holds the compilers' names and
# versions (the C library's start files bring theirs, whatever vcboot is
# compiled with); .note is an empty remnant.
file(GLOB_RECURSE staged LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(
      COMMAND "${CPACK_VCBOOT_OBJCOPY}" --remove-section=.comment
              --remove-section=.note "${file}"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
