# What an installation holds besides the programs (cmake --install, and the Debian package made by
# `cmake --build build --target package`): data files, manual pages, bash completion, the system
# service, and the package's own files.

install(FILES data/70-parvolin-units.rules DESTINATION lib/udev/rules.d)
install(FILES data/demo.scenario DESTINATION ${CMAKE_INSTALL_DATADIR}/parvolin)
# The player's desktop entry and the file types of the recordings, for an installation that
# registers them system-wide (the recorder also registers them per user at every start).
install(FILES data/parvolin-lvplayer.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/parvolin.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES data/icons/parvolin-lvplayer.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The recorder in the desktop's application menu, with its icons in the icon theme.
install(FILES data/parvolin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/icons/parvolin.svg data/icons/parvolin-tray.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES data/icons/parvolin-exit.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/actions)
install(FILES data/completion/parvolin data/completion/pvtool data/completion/lvsvr
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Manual pages, from their scdoc sources in docs/man/, compressed as Debian installs them.
set(PARVOLIN_MAN_PAGES parvolin pvtool lvplayer lvsvr)
find_program(SCDOC_EXECUTABLE scdoc)
find_program(GZIP_EXECUTABLE gzip)
if(SCDOC_EXECUTABLE AND GZIP_EXECUTABLE)
  set(man_outputs "")
  foreach(page IN LISTS PARVOLIN_MAN_PAGES)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.1.scd)
    set(output ${PROJECT_BINARY_DIR}/man/man1/${page}.1.gz)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man/man1
      COMMAND sh -c "'${SCDOC_EXECUTABLE}' < '${source}' | '${GZIP_EXECUTABLE}' -9n > '${output}'"
      DEPENDS ${source}
      COMMENT "Manual page ${page}(1)"
      VERBATIM)
    list(APPEND man_outputs ${output})
  endforeach()
  add_custom_target(man ALL DEPENDS ${man_outputs})
  install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "scdoc or gzip not found: the manual pages are not built (apt-get install scdoc)")
endif()

# The system service. The installed unit starts the installed recorder, wherever the prefix of
# the installation is (cmake --install --prefix, the package's /usr): it is made at install time.
# A copy that starts the recorder of this build tree is what `systemd-analyze verify` checks in
# the tests.
install(CODE "
  set(PARVOLIN_SERVICE_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/data/parvolin.service.in\"
                 \"${PROJECT_BINARY_DIR}/install-service/parvolin.service\" @ONLY)")
install(CODE "
  set(PARVOLIN_SERVICE_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/data/parvolin-web.service.in\"
                 \"${PROJECT_BINARY_DIR}/install-service/parvolin-web.service\" @ONLY)")
install(FILES ${PROJECT_BINARY_DIR}/install-service/parvolin.service
              ${PROJECT_BINARY_DIR}/install-service/parvolin-web.service
        DESTINATION lib/systemd/system)
set(PARVOLIN_SERVICE_BINDIR ${PROJECT_BINARY_DIR}/programs)
configure_file(data/parvolin.service.in ${PROJECT_BINARY_DIR}/service-check/parvolin.service @ONLY)
configure_file(data/parvolin-web.service.in
               ${PROJECT_BINARY_DIR}/service-check/parvolin-web.service @ONLY)

# The Debian package's documentation: the copyright file and the changelog.
configure_file(data/debian/changelog ${PROJECT_BINARY_DIR}/debian/changelog.Debian @ONLY)
if(GZIP_EXECUTABLE)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
    COMMAND ${GZIP_EXECUTABLE} -9nkf ${PROJECT_BINARY_DIR}/debian/changelog.Debian
    DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.Debian
    VERBATIM)
  add_custom_target(package_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
  install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/parvolin)
endif()
install(FILES data/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/parvolin)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME parvolin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Parvolin project <packaging@parvolin.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "telephone call recorder for USB recorder units")
# The synopsis is the summary above; these are the lines of the long description.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Parvolin follows the telephone lines of up to four USB recorder units,\n"
    " four lines each, through their calls and records one audio file per call,\n"
    " a call log and an HTML list of calls. It runs as a system service\n"
    " (parvolin.service) or in a window; lvplayer plays a recording and pvtool\n"
    " gives the operations to scripts. lvsvr (parvolin-web.service) serves the\n"
    " calls and the lines' state to browsers on the LAN, behind logins.")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries' packages from the programs' links; adduser for the service's user.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/data/debian/postinst ${PROJECT_SOURCE_DIR}/data/debian/prerm
    ${PROJECT_SOURCE_DIR}/data/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
