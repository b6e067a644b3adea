# What an installation holds and the packages made from it with cpack (in the build folder):
#   Linux:   cpack -G DEB  ->  vessentaria_<version>_<arch>.deb, the program in /opt/vessentaria
#            with User/, sql/, the README and a systemd service and timer (installed, not enabled)
#   Windows: cpack -G ZIP  ->  vessentaria-<version>-win64.zip: vessentaria.exe, User\, the README
#            and a Task Scheduler task definition
# User/ gets an example dati.ini only: USER.FDB is the site's own (sql/user.sql shows its
# tables), and a package that shipped one would replace it on every upgrade.
set(VESS_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS vessentaria RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
install(FILES ${VESS_PACKAGING}/dati.ini.example DESTINATION User)

set(CPACK_PACKAGE_NAME vessentaria)
set(CPACK_PACKAGE_VENDOR vessentaria)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Copies the order data of a company between Firebird archives, task by task")
set(CPACK_PACKAGE_CONTACT "vessentaria <vessentaria@localhost>" CACHE STRING
    "Maintainer named in the packages")

if(WIN32)
  install(FILES ${VESS_PACKAGING}/windows/vessentaria-attivita.xml DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX /opt/vessentaria CACHE PATH "Installation folder" FORCE)
  endif()
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/sql/ DESTINATION sql)
  install(FILES ${VESS_PACKAGING}/debian/vessentaria.service
                ${VESS_PACKAGING}/debian/vessentaria.timer
          DESTINATION /lib/systemd/system)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /opt/vessentaria)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  set(CPACK_STRIP_FILES ON)
  # The libraries the program links (dpkg-shlibdeps), the embedded engine that the client
  # library loads for a plain path, and adduser for the service's account.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "firebird3.0-server-core, adduser")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${VESS_PACKAGING}/debian/postinst ${VESS_PACKAGING}/debian/prerm
      ${VESS_PACKAGING}/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
include(CPack)
