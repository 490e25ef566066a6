# Installation and the Debian package: the executable, the manual page and the licence.
include(GNUInstallDirs)

set(QUORLAN_MANUAL "${PROJECT_SOURCE_DIR}/man/quorlan.1")

# The manual is written by hand; its title line must name the version being built.
file(STRINGS "${QUORLAN_MANUAL}" quorlan_manual_title REGEX "^\\.TH ")
if(NOT quorlan_manual_title MATCHES "\"quorlan ${PROJECT_VERSION}\"")
  message(FATAL_ERROR "man/quorlan.1: the .TH line must say \"quorlan ${PROJECT_VERSION}\", "
                      "the version in CMakeLists.txt (it says: ${quorlan_manual_title})")
endif()

install(TARGETS quorlan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(WIN32)
  install(FILES LICENSE README.md DESTINATION .)
  return()
endif()

# Manual pages are installed compressed, as Debian does; -n keeps the file the same
# from one build to the next.
find_program(QUORLAN_GZIP gzip REQUIRED)
set(quorlan_manual_gz "${PROJECT_BINARY_DIR}/quorlan.1.gz")
add_custom_command(OUTPUT "${quorlan_manual_gz}"
  COMMAND "${CMAKE_COMMAND}" -E copy "${QUORLAN_MANUAL}" "${PROJECT_BINARY_DIR}/quorlan.1"
  COMMAND "${QUORLAN_GZIP}" -9 -n -f "${PROJECT_BINARY_DIR}/quorlan.1"
  DEPENDS "${QUORLAN_MANUAL}"
  VERBATIM)
add_custom_target(quorlan_manual ALL DEPENDS "${quorlan_manual_gz}")
install(FILES "${quorlan_manual_gz}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

set(CPACK_PACKAGE_NAME quorlan)
set(CPACK_PACKAGE_VENDOR "the quorlan developers")
set(CPACK_PACKAGE_CONTACT "the quorlan developers <quorlan@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts vCard files into XML phonebooks")
set(CPACK_PACKAGE_DESCRIPTION
  "quorlan turns a file of electronic business cards (vCard, .vcf), as phones, mail
clients and address books export them, into an XML phonebook whose elements are
chosen in a small configuration file, quorlan.ini. Cards can be filtered by
required and forbidden fields, phone numbers grouped, and accented letters
folded to ASCII. The XML is written in windows-1250 with CR LF line ends.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded only by a CardDAV run, so the shared-library scan does not see it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcurl4")
set(CPACK_STRIP_FILES ON)
include(CPack)
