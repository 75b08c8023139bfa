# Warnings are errors everywhere: the same flags for the core, the tests and the tools.
function(vcboot_apply_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
    -Wformat=2 -Wcast-qual -Werror)
endfunction()
