# VCBOOT_SANITIZE=address,undefined (the dev preset) instruments every target.
set(VCBOOT_SANITIZE "" CACHE STRING "Comma-separated -fsanitize= list, empty for none")
if(VCBOOT_SANITIZE)
  add_compile_options(-fsanitize=${VCBOOT_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VCBOOT_SANITIZE})
endif()

# VCBOOT_FUZZ=ON (the fuzz preset, clang only) gives every target libFuzzer's
# coverage instrumentation; the targets in fuzz/ link its driver.
option(VCBOOT_FUZZ "Build the libFuzzer targets in fuzz/ (clang)" OFF)
if(VCBOOT_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
