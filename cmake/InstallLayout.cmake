# Where `cmake --install` puts things. A native build installs a Unix tree
# (the Debian package's); a Windows build installs the layout of the Windows
# zip, with everything beside vcpack.exe. Stubs go to <stubs>/<target>/.
include(GNUInstallDirs)

# The other presets' builds: their stubs go into this build's packages, and
# the tests read them and the packages (build/package) that scripts/package
# makes from them.
set(VCBOOT_PRESET_BUILDS "${CMAKE_SOURCE_DIR}/build" CACHE PATH
    "Folder with the build folders of the presets (win32, win64, release) and the packages (package)")
if(WIN32)
  set(VCBOOT_INSTALL_BINDIR .)
  set(VCBOOT_INSTALL_STUBDIR stubs)
  set(VCBOOT_INSTALL_DOCDIR .)
  set(VCBOOT_INSTALL_CMAKEDIR cmake)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VCBOOT_STUB_TARGET win64)
  else()
    set(VCBOOT_STUB_TARGET win32)
  endif()
else()
  set(VCBOOT_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  # The stubs are machine code, so not under share/ (Debian keeps that for
  # files of any architecture); vcpack looks in ../lib/vcboot/stubs from its
  # own folder, whatever the system's library folder is called.
  set(VCBOOT_INSTALL_STUBDIR lib/vcboot/stubs)
  set(VCBOOT_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
  set(VCBOOT_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/vcboot)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" VCBOOT_STUB_TARGET)
  # The i686 preset builds with -m32 on an x86-64 machine, which CMake
  # reports as the processor.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
    string(TOLOWER "${CMAKE_SYSTEM_NAME}-i686" VCBOOT_STUB_TARGET)
  endif()
endif()
# A stub is installed as data: vcpack reads its bytes and gives the package
# it makes the mode of a program, and nobody runs the bare stub.
set(VCBOOT_STUB_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
