# Warnings are errors everywhere: the same flags for the core, the tests and the tools.
function(vcboot_apply_warnings target)
  # C++ only: a Windows program's resource script shares its targets.
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
    -Wformat=2 -Wcast-qual -Werror>)
endfunction()
