# What an installation holds and the packages made from it with cpack (in the build folder):
#   Linux:   cpack -G DEB  ->  vessentaria_<version>_<arch>.deb, the program in /opt/vessentaria
#            with User/, sql/, the README and a systemd service and timer (installed, not enabled),
#            /usr/bin/vessentaria a link to it
#   Windows: cpack -G ZIP  ->  vessentaria-<version>-win64.zip holding one folder, vessentaria\, to
#            unpack in C:\: vessentaria.exe, User\, the README, a Task Scheduler task definition
#            and the script that registers the event log source; text files with CR LF line ends
# User/ gets an example dati.ini only: USER.FDB is the site's own (sql/user.sql shows its
# tables), and a package that shipped one would replace it on every upgrade.
set(VESS_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

if(WIN32)
  # The zip's one folder, which the task definition and the README name as C:\vessentaria.
  set(VESS_CARTELLA vessentaria)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(VESS_CARTELLA .)
endif()

# Installs a text file; on Windows with CR LF line ends, as Notepad and the Task Scheduler expect.
function(vess_installa_testo sorgente destinazione)
  if(NOT WIN32)
    install(FILES ${sorgente} DESTINATION ${destinazione})
    return()
  endif()
  get_filename_component(nome ${sorgente} NAME)
  file(READ ${sorgente} testo)
  string(REPLACE "\r\n" "\n" testo "${testo}")
  string(REPLACE "\n" "\r\n" testo "${testo}")
  set(copia ${CMAKE_BINARY_DIR}/crlf/${destinazione}/${nome})
  file(WRITE ${copia} "${testo}")
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${sorgente})
  install(FILES ${copia} DESTINATION ${destinazione})
endfunction()

install(TARGETS vessentaria RUNTIME DESTINATION ${VESS_CARTELLA})
vess_installa_testo(${CMAKE_SOURCE_DIR}/README.md ${VESS_CARTELLA})
vess_installa_testo(${VESS_PACKAGING}/dati.ini.example ${VESS_CARTELLA}/User)

set(CPACK_PACKAGE_NAME vessentaria)
set(CPACK_PACKAGE_VENDOR vessentaria)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Copies the order data of a company between Firebird archives, task by task")
set(VESSENTARIA_MAINTAINER
    "Seed 55d72183 maintainers <maintainers@users.noreply.c-seed-55d72183.example>"
    CACHE STRING "Maintainer named in the packages")
set(CPACK_PACKAGE_CONTACT ${VESSENTARIA_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION
    "A batch program, meant to be started by a scheduler, that runs the active rows
of the task table VESSENTARIA of a company archive: each copies the selected
orders with their rows, sessions and customers from a source archive to a
destination archive, through a Firebird server or the embedded engine, and
writes its outcome back into its row.")

if(WIN32)
  vess_installa_testo(${VESS_PACKAGING}/windows/vessentaria-attivita.xml ${VESS_CARTELLA})
  vess_installa_testo(${VESS_PACKAGING}/windows/registra-eventi.ps1 ${VESS_CARTELLA})
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

  # Debian's documentation of the package: copyright, changelog and manual page, compressed as
  # Debian wants them. The page is written at installation from packaging/debian/vessentaria.1.in
  # and the help text of the program.
  set(VESS_DEBIAN ${CMAKE_BINARY_DIR}/debian)
  file(MAKE_DIRECTORY ${VESS_DEBIAN})
  file(STRINGS ${VESS_PACKAGING}/debian/changelog voce LIMIT_COUNT 1)
  if(NOT voce MATCHES "^vessentaria \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog does not begin with version ${PROJECT_VERSION}")
  endif()
  execute_process(COMMAND gzip -9nc ${VESS_PACKAGING}/debian/changelog
                  OUTPUT_FILE ${VESS_DEBIAN}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${VESS_PACKAGING}/debian/changelog)
  install(CODE "execute_process(COMMAND \"${CMAKE_COMMAND}\"
    -DPROGRAMMA=$<TARGET_FILE:vessentaria> -DINSTALLATO=${CPACK_PACKAGING_INSTALL_PREFIX}/vessentaria
    -DVERSIONE=${PROJECT_VERSION} -DMODELLO=${VESS_PACKAGING}/debian/vessentaria.1.in
    -DPAGINA=${VESS_DEBIAN}/vessentaria.1.gz
    -P \"${CMAKE_SOURCE_DIR}/cmake/Manuale.cmake\" COMMAND_ERROR_IS_FATAL ANY)")
  install(FILES ${VESS_PACKAGING}/debian/copyright ${VESS_DEBIAN}/changelog.gz
          DESTINATION /usr/share/doc/vessentaria)
  install(FILES ${VESS_DEBIAN}/vessentaria.1.gz DESTINATION /usr/share/man/man1)
  # The command on PATH is a link: the program stays in its folder, where it finds User/ (it
  # reads its own path with the links resolved).
  file(CREATE_LINK ${CPACK_PACKAGING_INSTALL_PREFIX}/vessentaria ${VESS_DEBIAN}/vessentaria
       SYMBOLIC)
  install(FILES ${VESS_DEBIAN}/vessentaria DESTINATION /usr/bin)
  install(FILES ${VESS_PACKAGING}/debian/lintian-overrides DESTINATION /usr/share/lintian/overrides
          RENAME vessentaria)
endif()
include(CPack)
