# What `cmake --install` puts where, and the two packages CPack makes of it (scripts/package): a .deb
# for the system and a portable .tar.gz that runs from wherever it is unpacked.

set(SIFTON_APP_ID example.quorvale.Sifton)

install(TARGETS sifton sifton-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The readme viewer looks beside the program first, then here (platform/FileLocations).
install(FILES ${PROJECT_SOURCE_DIR}/resources/Readme.RTF DESTINATION ${CMAKE_INSTALL_DATADIR}/sifton)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/${SIFTON_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/${SIFTON_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The icons are drawn by scripts/make-icons.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Manual pages go in compressed, as Debian's policy asks; -n keeps the name and time out of the
# archive, so the same page gives the same bytes. The console companion's page is made from its own
# --help and --version, so it never falls behind the options; the window's is written by hand.
set(SIFTON_MAN_DIR ${CMAKE_BINARY_DIR}/man)
function(sifton_compressed_man page source)
  add_custom_command(OUTPUT ${SIFTON_MAN_DIR}/${page}.gz
    COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/gzip-file.sh ${source} ${SIFTON_MAN_DIR}/${page}.gz
    DEPENDS ${source} ${ARGN} VERBATIM
    COMMENT "Compressed manual page ${page}")
  install(FILES ${SIFTON_MAN_DIR}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
file(MAKE_DIRECTORY ${SIFTON_MAN_DIR})
sifton_compressed_man(sifton.1 ${PROJECT_SOURCE_DIR}/resources/man/sifton.1)
set(_pages ${SIFTON_MAN_DIR}/sifton.1.gz)
find_program(SIFTON_HELP2MAN help2man)
if(SIFTON_HELP2MAN AND TARGET sifton-cli)
  add_custom_command(OUTPUT ${SIFTON_MAN_DIR}/sifton-cli.1
    COMMAND ${SIFTON_HELP2MAN} --no-info --section=1 --source=Quorvale
      "--name=search text files for lines holding one or two strings" --output=${SIFTON_MAN_DIR}/sifton-cli.1
      $<TARGET_FILE:sifton-cli>
    DEPENDS sifton-cli
    COMMENT "Manual page of sifton-cli")
  sifton_compressed_man(sifton-cli.1 ${SIFTON_MAN_DIR}/sifton-cli.1)
  list(APPEND _pages ${SIFTON_MAN_DIR}/sifton-cli.1.gz)
else()
  message(STATUS "help2man not found: no manual page for sifton-cli")
endif()
add_custom_target(sifton-man ALL DEPENDS ${_pages})

# The package's copyright (machine-readable) and changelog, where Debian's tools look for them.
set(SIFTON_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/sifton)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/gzip-file.sh ${PROJECT_SOURCE_DIR}/resources/debian/changelog
    ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/debian/changelog VERBATIM
  COMMENT "Compressed changelog")
add_custom_target(sifton-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/resources/debian/copyright
  DESTINATION ${SIFTON_DOC_DIR})

set(CPACK_PACKAGE_NAME sifton)
set(CPACK_PACKAGE_VENDOR "Quorvale Software Inc.")
set(CPACK_PACKAGE_CONTACT "Quorvale Software Support <support@quorvale.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Text search for the desktop, with a console companion")
# Debian wants the extended description in lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "Sifton searches a list of text files for the lines that hold one or two
strings joined by And, Or, Xor or And Not, and shows the reported lines in a
window where they can be searched, copied, printed and saved.
sifton-cli runs the same engine on the console.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.quorvale.example/software/")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program knows an installed copy by the folder it was built for, so the package installs there.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/SiftonCPackOptions.cmake)
include(CPack)
