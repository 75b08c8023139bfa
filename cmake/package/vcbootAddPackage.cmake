# vcboot_add_package(NAME <target> STUB <stub> OUTPUT <file>
#                    [FILES [<key>=]<path>...] [VALUES <name>=<text>...]
#                    [ICON <file.ico>] [VERSION <1.2.3.4>]
#                    [VERSION_INFO <key>=<text>...] [EXECUTION_LEVEL <level>]
#                    [TEXTS <name>=<text>...] [PRODUCT_NAME <name>]
#                    [DOWNLOAD_ADDRESS <url>] [GUARD_NAME <name>]
#                    [UI none] [LOG <template>])
#
# Adds the build target <target>, which runs vcpack to make the package
# <file> (relative: in the current binary folder) from a manifest written
# when the project is configured. STUB is a target name (win32, win64,
# linux-x86_64; `vcpack stubs` lists them) or a path. FILES and VALUES are
# vcpack's --file and --value, written in the order given: a <key> is bound
# to the file's stored name, its base name. Relative paths are taken from the
# current source folder; paths and OUTPUT may hold generator expressions
# such as $<TARGET_FILE:setup>, texts may not. The package is made again when
# one of its files changes.
#
# The package's identity (vcpack's manual, "Your product's identity"): ICON,
# VERSION, VERSION_INFO and EXECUTION_LEVEL are vcpack's --icon, --version,
# --version-info and --execution-level, TEXTS its --text, and the rest its
# options of the same names; they reach the manifest's [identity] and
# [texts] tables. UI and LOG are --ui and --log, for unattended deployment.
#
# An argument that CMake would not keep whole in a list is refused: one with
# a ';', or with a '[' that no ']' closes, which would take the arguments
# after it into itself.
function(vcboot_add_package)
  if(ARGC GREATER 0)
    math(EXPR last "${ARGC} - 1")
    foreach(index RANGE ${last})
      _vcboot_check_list_item("${ARGV${index}}")
    endforeach()
  endif()
  # Settings of one text: the keyword, and the manifest's key in [identity].
  set(plain_settings PRODUCT_NAME product-name DOWNLOAD_ADDRESS download-address
                     GUARD_NAME guard-name)
  set(one_value NAME STUB OUTPUT ICON VERSION EXECUTION_LEVEL UI LOG)
  list(LENGTH plain_settings count)
  math(EXPR last_setting "${count} - 1")
  foreach(index RANGE 0 ${last_setting} 2)
    list(GET plain_settings ${index} keyword)
    list(APPEND one_value ${keyword})
  endforeach()
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "${one_value}"
                        "FILES;VALUES;VERSION_INFO;TEXTS")
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
  _vcboot_toml_path(text "${stub}")
  set(manifest "stub = ${text}\n")
  # How the package runs: keys at the manifest's top, before any table.
  foreach(keyword UI LOG)
    if(DEFINED arg_${keyword})
      _vcboot_check_text("${keyword}" "${arg_${keyword}}")
      _vcboot_toml_string(text "${arg_${keyword}}")
      string(TOLOWER "${keyword}" key)
      string(APPEND manifest "${key} = ${text}\n")
    endif()
  endforeach()
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
    _vcboot_toml_path(text "${file}")
    string(APPEND manifest "\n[[record]]\nfile = ${text}\n")
    if(NOT key STREQUAL "")
      _vcboot_toml_string(text "${key}")
      string(APPEND manifest "key = ${text}\n")
    endif()
  endforeach()
  foreach(value IN LISTS arg_VALUES)
    _vcboot_check_text(VALUES "${value}")
    if(NOT value MATCHES "^([^=]+)=(.*)$")
      message(FATAL_ERROR "vcboot_add_package: VALUES takes NAME=TEXT, not \"${value}\"")
    endif()
    _vcboot_toml_string(name "${CMAKE_MATCH_1}")
    _vcboot_toml_string(text "${CMAKE_MATCH_2}")
    string(APPEND manifest "\n[[record]]\nvariable = ${name}\nvalue = ${text}\n")
  endforeach()

  # The identity: [identity], its version texts, and [texts].
  set(identity "")
  if(arg_ICON)
    set(icon "${arg_ICON}")
    if(NOT icon MATCHES "^\\$<")
      cmake_path(ABSOLUTE_PATH icon BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    list(APPEND inputs "${icon}")
    _vcboot_toml_path(text "${icon}")
    string(APPEND identity "icon = ${text}\n")
  endif()
  foreach(keyword key VERSION version EXECUTION_LEVEL execution-level ${plain_settings})
    if(keyword MATCHES "^[A-Z_]+$")
      set(current "${keyword}")
      continue()
    endif()
    if(DEFINED arg_${current})
      _vcboot_check_text("${current}" "${arg_${current}}")
      _vcboot_toml_string(text "${arg_${current}}")
      string(APPEND identity "${keyword} = ${text}\n")
    endif()
  endforeach()
  if(NOT identity STREQUAL "")
    string(APPEND manifest "\n[identity]\n${identity}")
  endif()
  foreach(table VERSION_INFO:identity.version-info TEXTS:texts)
    string(REPLACE ":" ";" table "${table}")
    list(GET table 0 keyword)
    list(GET table 1 header)
    if(NOT arg_${keyword})
      continue()
    endif()
    string(APPEND manifest "\n[${header}]\n")
    foreach(entry IN LISTS arg_${keyword})
      _vcboot_check_text("${keyword}" "${entry}")
      if(NOT entry MATCHES "^([^=]+)=(.*)$")
        message(FATAL_ERROR "vcboot_add_package: ${keyword} takes NAME=TEXT, not \"${entry}\"")
      endif()
      _vcboot_toml_string(name "${CMAKE_MATCH_1}")
      _vcboot_toml_string(text "${CMAKE_MATCH_2}")
      string(APPEND manifest "${name} = ${text}\n")
    endforeach()
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

# Refuses a text that holds a generator expression: the manifest is written
# by file(GENERATE), which would evaluate it after the text was escaped.
function(_vcboot_check_text keyword text)
  if(text MATCHES "\\$<")
    message(FATAL_ERROR "vcboot_add_package: ${keyword} takes texts, and "
      "\"${text}\" holds a generator expression ($<...>), whose result "
      "would reach the manifest unescaped")
  endif()
endfunction()

# Refuses `item` when CMake's list splitting would not keep it whole.
function(_vcboot_check_list_item item)
  # Matched pairs of brackets taken out, what is left is "]...][...[".
  string(REGEX REPLACE "[^][]" "" brackets "${item}")
  set(previous "")
  while(NOT brackets STREQUAL previous)
    set(previous "${brackets}")
    string(REPLACE "[]" "" brackets "${brackets}")
  endwhile()
  if(item MATCHES ";" OR brackets MATCHES "\\[")
    message(FATAL_ERROR "vcboot_add_package: \"${item}\" holds a ';' or a '[' "
      "that no ']' closes: CMake's lists would split it, or join it with the "
      "arguments after it, and records would be lost. Such a text cannot be "
      "given to vcboot_add_package; write a manifest for vcpack instead.")
  endif()
endfunction()

# A TOML basic string holding `text`, every control character escaped.
function(_vcboot_toml_string variable text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  foreach(hex 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F
              10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 7F)
    math(EXPR code "0x${hex}")
    string(ASCII ${code} character)
    string(REPLACE "${character}" "\\u00${hex}" text "${text}")
  endforeach()
  set(${variable} "\"${text}\"" PARENT_SCOPE)
endfunction()

# A path as a TOML string. One that holds a generator expression is written
# as a literal string, which takes the expression's result as it comes out,
# backslashes of Windows paths included. The result must hold no ' and no
# line break, which would end the string early; the paths of targets have
# none.
function(_vcboot_toml_path variable path)
  if(path MATCHES "\\$<")
    set(${variable} "'${path}'" PARENT_SCOPE)
  else()
    _vcboot_toml_string(text "${path}")
    set(${variable} "${text}" PARENT_SCOPE)
  endif()
endfunction()
