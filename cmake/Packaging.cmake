# What a release holds beside each build's own files: the stubs of the other
# presets' builds, the README, the CMake package, and CPack's settings for
# the Debian package (native builds) and the Windows zip (Windows builds).
# scripts/package builds every preset first and runs CPack.

# Every package carries the three stubs. The other builds' stubs are taken
# from their build folders (VCBOOT_PRESET_BUILDS) when they are there;
# scripts/package checks that none is missing.
string(TOLOWER "${CMAKE_HOST_SYSTEM_NAME}-${CMAKE_HOST_SYSTEM_PROCESSOR}" vcboot_host_target)
foreach(stub win32=win32/bin/vcboot.exe win64=win64/bin/vcboot.exe
             ${vcboot_host_target}=release/bin/vcboot)
  string(REGEX MATCH "^([^=]*)=(.*)$" stub "${stub}")
  if(NOT CMAKE_MATCH_1 STREQUAL VCBOOT_STUB_TARGET)
    install(FILES ${VCBOOT_PRESET_BUILDS}/${CMAKE_MATCH_2}
            DESTINATION ${VCBOOT_INSTALL_STUBDIR}/${CMAKE_MATCH_1}
            PERMISSIONS ${VCBOOT_STUB_PERMISSIONS} OPTIONAL)
  endif()
endforeach()

include(ShippedDocs)

# What Debian asks of every package beside its files: the copyright, and,
# for a package made by its own authors, the changelog, compressed as dpkg
# does it (gzip -9n: no name or time inside, the same bytes every time). Its
# first entry must be the project's version.
if(NOT WIN32)
  set(debian ${CMAKE_SOURCE_DIR}/cmake/debian)
  file(STRINGS ${debian}/changelog entry LIMIT_COUNT 1)
  if(NOT entry MATCHES "^vcboot \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog: the first entry is not for "
      "${PROJECT_VERSION}, the project's version: \"${entry}\"")
  endif()
  find_program(VCBOOT_GZIP gzip REQUIRED)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/debian)
  execute_process(COMMAND ${VCBOOT_GZIP} -9n -c ${debian}/changelog
                  OUTPUT_FILE ${CMAKE_BINARY_DIR}/debian/changelog.gz
                  COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${debian}/changelog)
  install(FILES ${debian}/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${VCBOOT_INSTALL_DOCDIR})
endif()

# find_package(vcboot): vcboot_add_package(), running the vcpack installed
# with it.
if(TARGET vcpack)
  include(CMakePackageConfigHelpers)
  set(VCBOOT_VCPACK_PATH ${VCBOOT_INSTALL_BINDIR}/vcpack${CMAKE_EXECUTABLE_SUFFIX})
  configure_package_config_file(
    ${CMAKE_SOURCE_DIR}/cmake/package/vcbootConfig.cmake.in
    ${CMAKE_BINARY_DIR}/package/vcbootConfig.cmake
    INSTALL_DESTINATION ${VCBOOT_INSTALL_CMAKEDIR}
    PATH_VARS VCBOOT_VCPACK_PATH)
  # The package holds a program for the build machine: any project may use
  # it, whatever it builds for.
  write_basic_package_version_file(
    ${CMAKE_BINARY_DIR}/package/vcbootConfigVersion.cmake
    COMPATIBILITY SameMinorVersion ARCH_INDEPENDENT)
  install(FILES ${CMAKE_BINARY_DIR}/package/vcbootConfig.cmake
                ${CMAKE_BINARY_DIR}/package/vcbootConfigVersion.cmake
                ${CMAKE_SOURCE_DIR}/cmake/package/vcbootAddPackage.cmake
          DESTINATION ${VCBOOT_INSTALL_CMAKEDIR})
endif()

set(VCBOOT_PACKAGE_MAINTAINER "Vellumcrest vcboot team <vcboot@vellumcrest.invalid>"
    CACHE STRING "The Debian package's maintainer")
set(CPACK_PACKAGE_NAME vcboot)
set(CPACK_PACKAGE_VENDOR Vellumcrest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "self-extracting installer bootstrap, and vcpack to make its packages")
set(CPACK_PACKAGE_DESCRIPTION
    "vcboot packages are one executable: the bootstrap's image with an archive
appended. Started, the bootstrap extracts the files to a work folder, starts
the installer it names, hands its exit code to an optional post program and
removes the folder. vcpack makes such packages for Windows (32 and 64 bit)
and Linux, lists, verifies and extracts them; the stubs for all three
targets come with it, and a CMake package makes packages as part of a build.")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vcboot-${PROJECT_VERSION}-${VCBOOT_STUB_TARGET})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VCBOOT_PACKAGE_MAINTAINER})
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The dependencies are what the programs link against, as dpkg-shlibdeps
  # finds them: the C and C++ run-time libraries only.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_VCBOOT_OBJCOPY "${CMAKE_OBJCOPY}")
  set(CPACK_PRE_BUILD_SCRIPTS
      ${CMAKE_SOURCE_DIR}/cmake/debian/drop_unneeded_sections.cmake)
endif()
include(CPack)
