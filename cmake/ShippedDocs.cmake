# The pages and examples that the downloads carry, each as SOURCE=INSTALLED,
# INSTALLED being its path in the installed docs folder (share/doc/vcboot/,
# or beside vcpack.exe in the Windows zip). In the installed pages a link to
# another of them is rewritten to lead there; a link to anything else, a
# file of the source tree, becomes plain text naming it, so that no link of
# an installed page leads nowhere.
set(vcboot_shipped_docs
  README.md=README.md
  tools/vcpack/README.md=vcpack.md
  docs/package-format.md=docs/package-format.md
  docs/posix.md=docs/posix.md
  docs/unattended.md=docs/unattended.md
  docs/windows.md=docs/windows.md
  examples/cmake-package/CMakeLists.txt=examples/cmake-package/CMakeLists.txt
  examples/cmake-package/hello_installer.cpp=examples/cmake-package/hello_installer.cpp
  examples/cmake-package/readme.txt=examples/cmake-package/readme.txt
  examples/msi-package/README.md=examples/msi-package/README.md
  examples/msi-package/install.cmd=examples/msi-package/install.cmd
  examples/msi-package/product.wxs=examples/msi-package/product.wxs
  examples/msi-package/readme.txt=examples/msi-package/readme.txt)

foreach(entry IN LISTS vcboot_shipped_docs)
  string(REGEX MATCH "^([^=]*)=(.*)$" entry "${entry}")
  string(MAKE_C_IDENTIFIER "${CMAKE_MATCH_1}" key)
  set(_vcboot_installed_${key} "${CMAKE_MATCH_2}")
endforeach()

# `text` of the page at `source`, to be installed as `installed`, with its
# links rewritten as above.
function(_vcboot_installed_page variable source installed)
  file(READ "${CMAKE_SOURCE_DIR}/${source}" text)
  get_filename_component(source_folder "${source}" DIRECTORY)
  get_filename_component(installed_folder "/docs/${installed}" DIRECTORY)
  # A label holds no bracket: a text such as "/log:[x" opens no link.
  string(REGEX MATCHALL "\\[[^][]*\\]\\([^)]+\\)" links "${text}")
  list(REMOVE_DUPLICATES links)
  foreach(link IN LISTS links)
    string(REGEX MATCH "^\\[([^]]*)\\]\\(([^)#]*)(#[^)]*)?\\)$" parts "${link}")
    set(label "${CMAKE_MATCH_1}")
    set(target "${CMAKE_MATCH_2}")
    set(anchor "${CMAKE_MATCH_3}")
    if(target STREQUAL "" OR target MATCHES "^[a-z]+:")
      continue()  # an anchor in the same page, or an address
    endif()
    cmake_path(SET resolved NORMALIZE "${source_folder}/${target}")
    string(REGEX REPLACE "^/|/$" "" resolved "${resolved}")
    string(MAKE_C_IDENTIFIER "${resolved}" key)
    if(DEFINED _vcboot_installed_${key})
      set(relative "/docs/${_vcboot_installed_${key}}")
      cmake_path(RELATIVE_PATH relative BASE_DIRECTORY "${installed_folder}")
      set(replacement "[${label}](${relative}${anchor})")
    else()
      # A label that is the path, or its folder, names it already.
      string(REGEX REPLACE "[`/]+$|^`" "" bare "${label}")
      string(FIND "${resolved}" "${bare}" at)
      if(at EQUAL 0)
        set(replacement "${label} (in vcboot's source)")
      else()
        set(replacement "${label} (`${resolved}` in vcboot's source)")
      endif()
    endif()
    string(REPLACE "${link}" "${replacement}" text "${text}")
  endforeach()
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

foreach(entry IN LISTS vcboot_shipped_docs)
  string(REGEX MATCH "^([^=]*)=(.*)$" entry "${entry}")
  set(source "${CMAKE_MATCH_1}")
  set(installed "${CMAKE_MATCH_2}")
  get_filename_component(folder "${installed}" DIRECTORY)
  set(copy "${CMAKE_BINARY_DIR}/shipped-docs/${installed}")
  if(source MATCHES "\\.md$")
    _vcboot_installed_page(text "${source}" "${installed}")
    set(old "")
    if(EXISTS "${copy}")
      file(READ "${copy}" old)
    endif()
    if(NOT old STREQUAL text)
      file(WRITE "${copy}" "${text}")
    endif()
  else()
    configure_file("${CMAKE_SOURCE_DIR}/${source}" "${copy}" COPYONLY)
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${CMAKE_SOURCE_DIR}/${source}")
  install(FILES "${copy}" DESTINATION "${VCBOOT_INSTALL_DOCDIR}/${folder}")
endforeach()
