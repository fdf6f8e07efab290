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

# The console companion's manual page is made from its own --help and --version, so it never
# falls behind the options.
find_program(SIFTON_HELP2MAN help2man)
if(SIFTON_HELP2MAN AND TARGET sifton-cli)
  set(_man ${CMAKE_BINARY_DIR}/man/sifton-cli.1)
  add_custom_command(OUTPUT ${_man}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${SIFTON_HELP2MAN} --no-info --section=1 --source=Quorvale
      "--name=search text files for lines holding one or two strings" --output=${_man} $<TARGET_FILE:sifton-cli>
    DEPENDS sifton-cli
    COMMENT "Manual page of sifton-cli")
  add_custom_target(sifton-cli-man ALL DEPENDS ${_man})
  install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no manual page for sifton-cli")
endif()

set(CPACK_PACKAGE_NAME sifton)
set(CPACK_PACKAGE_VENDOR "Quorvale Software Inc.")
set(CPACK_PACKAGE_CONTACT "Quorvale Software Support <support@quorvale.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Text search for the desktop, with a console companion")
set(CPACK_PACKAGE_DESCRIPTION "Sifton searches a list of text files for the lines that hold one or two \
strings joined by And, Or, Xor or And Not, and shows the reported lines in a window where they can be \
searched, copied, printed and saved. sifton-cli runs the same engine on the console.")
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
