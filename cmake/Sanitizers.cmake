# VCBOOT_SANITIZE=address,undefined (the dev preset) instruments every target.
set(VCBOOT_SANITIZE "" CACHE STRING "Comma-separated -fsanitize= list, empty for none")
if(VCBOOT_SANITIZE)
  add_compile_options(-fsanitize=${VCBOOT_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VCBOOT_SANITIZE})
endif()
