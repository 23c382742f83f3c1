# Installation and the Debian package: sfx-pack in bin/, both stubs in share/sfx/ (where
# sfx-pack create looks for them), the man page in share/man/man1/, and the copyright
# file, the package maker's guide and the format reference in share/doc/sfx-pack/.
#
# The Windows stub comes from the separate cross build (preset win32), which this host
# build cannot make: SFX_WIN32_STUB names it, and by default it is build/win32/sfx-stub.exe
# of this source tree. It is looked for when installing, not when configuring, so the
# two builds may be made in either order; installing without it fails with a message.
include(GNUInstallDirs)
# Installing (and cpack) takes what is built; it does not build the tests first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(SFX_WIN32_STUB "" CACHE FILEPATH
    "The Windows stub to install (empty: build/win32/sfx-stub.exe of this source tree)")
set(sfx_win32_stub "${SFX_WIN32_STUB}")
if(NOT sfx_win32_stub)
  set(sfx_win32_stub "${CMAKE_SOURCE_DIR}/build/win32/sfx-stub.exe")
endif()

install(CODE "
  if(NOT EXISTS \"${sfx_win32_stub}\")
    message(FATAL_ERROR \"The Windows stub ${sfx_win32_stub} does not exist. Build it first \"
      \"(cmake --preset win32 && cmake --build --preset win32 --target sfx-stub) or set \"
      \"SFX_WIN32_STUB to its path; scripts/build-deb.sh builds both.\")
  endif()")
install(TARGETS sfx-pack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS $<TARGET_FILE:sfx-stub> DESTINATION ${CMAKE_INSTALL_DATADIR}/sfx)
install(PROGRAMS ${sfx_win32_stub} DESTINATION ${CMAKE_INSTALL_DATADIR}/sfx RENAME sfx-stub.exe)
install(FILES ${SFX_PACK_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/copyright ${CMAKE_SOURCE_DIR}/docs/guide.md
              ${CMAKE_SOURCE_DIR}/docs/package-format.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sfx-pack)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sfx-pack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "sfx maintainers <support@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make self-extracting installation packages for Windows")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "sfx-pack writes, verifies, lists and unpacks self-extracting \
installation packages: a small Windows stub program followed by an archive of an installation's \
files. The package holds the tool, the Windows stub and a Linux stub for trying packages.")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# Named by hand rather than by dpkg-shlibdeps, which is not installed everywhere.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libdeflate0")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
