# The hardening that Debian builds its programs with, for the native builds:
# the C library's checked forms of string and memory calls where the
# compiler knows the sizes (optimised builds only, and not under the
# sanitizers, which check the same calls their own way), and every symbol
# bound at start, so that the relocation tables can be made read-only.
if(NOT WIN32)
  if(NOT VCBOOT_SANITIZE)
    add_compile_options(
      "$<$<CONFIG:Release,MinSizeRel,RelWithDebInfo>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  endif()
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
