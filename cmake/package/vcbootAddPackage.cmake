# vcboot_add_package(NAME <target> STUB <stub> OUTPUT <file>
#                    [FILES [<key>=]<path>...] [VALUES <name>=<text>...])
#
# Adds the build target <target>, which runs vcpack to make the package
# <file> (relative: in the current binary folder) from a manifest written
# when the project is configured. STUB is a target name (win32, win64,
# linux-x86_64; `vcpack stubs` lists them) or a path. FILES and VALUES are
# vcpack's --file and --value, written in the order given: a <key> is bound
# to the file's stored name, its base name. Relative paths are taken from the
# current source folder; paths, texts and OUTPUT may hold generator
# expressions such as $<TARGET_FILE:setup>. The package is made again when
# one of its files changes.
function(vcboot_add_package)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;STUB;OUTPUT" "FILES;VALUES")
  foreach(required NAME STUB OUTPUT)
    if(NOT arg_${required})
      message(FATAL_ERROR "vcboot_add_package: ${required} is missing")
    endif()
  endforeach()

  set(inputs "")
  set(stub "${arg_STUB}")
  if(stub MATCHES "[/\\]" OR EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${stub}")
    cmake_path(ABSOLUTE_PATH stub BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND inputs "${stub}")
  endif()
  _vcboot_toml_string(text "${stub}")
  set(manifest "stub = ${text}\n")
  foreach(file IN LISTS arg_FILES)
    set(key "")
    if(file MATCHES "^([A-Za-z0-9_.-]*)=(.+)$")
      set(key "${CMAKE_MATCH_1}")
      set(file "${CMAKE_MATCH_2}")
    endif()
    if(NOT file MATCHES "^\\$<")
      cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    list(APPEND inputs "${file}")
    _vcboot_toml_string(text "${file}")
    string(APPEND manifest "\n[[record]]\nfile = ${text}\n")
    if(NOT key STREQUAL "")
      _vcboot_toml_string(text "${key}")
      string(APPEND manifest "key = ${text}\n")
    endif()
  endforeach()
  foreach(value IN LISTS arg_VALUES)
    if(NOT value MATCHES "^([^=]+)=(.*)$")
      message(FATAL_ERROR "vcboot_add_package: VALUES takes NAME=TEXT, not \"${value}\"")
    endif()
    _vcboot_toml_string(name "${CMAKE_MATCH_1}")
    _vcboot_toml_string(text "${CMAKE_MATCH_2}")
    string(APPEND manifest "\n[[record]]\nvariable = ${name}\nvalue = ${text}\n")
  endforeach()

  # One manifest per configuration where a generator builds several.
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  set(manifest_file "${CMAKE_CURRENT_BINARY_DIR}/${arg_NAME}")
  if(multi_config)
    string(APPEND manifest_file "-$<CONFIG>")
  endif()
  string(APPEND manifest_file ".vcpack.toml")
  file(GENERATE OUTPUT "${manifest_file}" CONTENT "${manifest}")
  set(output "${arg_OUTPUT}")
  if(NOT output MATCHES "^\\$<")
    cmake_path(ABSOLUTE_PATH output BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
  add_custom_command(OUTPUT "${output}"
    COMMAND "${VCBOOT_VCPACK}" build --manifest "${manifest_file}" --output "${output}"
    DEPENDS ${inputs} "${manifest_file}" "${VCBOOT_VCPACK}"
    COMMENT "vcpack: making ${arg_OUTPUT}"
    VERBATIM)
  add_custom_target(${arg_NAME} ALL DEPENDS "${output}")
endfunction()

# A TOML basic string holding `text`.
function(_vcboot_toml_string variable text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  set(${variable} "\"${text}\"" PARENT_SCOPE)
endfunction()
