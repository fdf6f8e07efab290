# Settings that differ per package kind; CPack reads this file once for each generator.
if(CPACK_GENERATOR STREQUAL "TGZ")
  # One folder, bin/ and share/ inside it, with no fixed prefix: it runs wherever it is unpacked.
  set(CPACK_PACKAGING_INSTALL_PREFIX "/")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME "sifton-${CPACK_PACKAGE_VERSION}-portable-${CPACK_SYSTEM_NAME}")
endif()
