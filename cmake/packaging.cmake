# Install rules and the Debian package. `cpack -G DEB` in a build folder makes
# velmora_<version>_<arch>.deb. The stand-in server is a test and demo tool and is never
# installed.
include(GNUInstallDirs)

install(TARGETS velmora velmora-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(velmora_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${velmora_packaging_dir}/velmora.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${velmora_packaging_dir}/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
        FILES_MATCHING PATTERN "*.png")

# Debian installs manual pages and changelogs compressed; -n keeps the name and time out of
# the archive so the same text always gives the same bytes.
set(velmora_package_build_dir ${CMAKE_BINARY_DIR}/packaging)
function(velmora_gzipped source name destination)
  set(output ${velmora_package_build_dir}/${name}.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${velmora_package_build_dir}
    COMMAND gzip -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    VERBATIM)
  install(FILES ${output} DESTINATION ${destination})
  set(velmora_gzipped_files ${velmora_gzipped_files} ${output} PARENT_SCOPE)
endfunction()

set(velmora_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/velmora)
velmora_gzipped(${velmora_packaging_dir}/velmora.1 velmora.1 ${CMAKE_INSTALL_MANDIR}/man1)
velmora_gzipped(${velmora_packaging_dir}/velmora-export.1 velmora-export.1
                ${CMAKE_INSTALL_MANDIR}/man1)
# The version has no Debian revision, so Debian takes the package as native: its changelog
# is changelog.gz, and its newest entry carries the package's version.
configure_file(${velmora_packaging_dir}/changelog.in ${velmora_package_build_dir}/changelog @ONLY)
velmora_gzipped(${velmora_package_build_dir}/changelog changelog ${velmora_doc_dir})
add_custom_target(velmora_package_files ALL DEPENDS ${velmora_gzipped_files})
install(FILES ${velmora_packaging_dir}/copyright DESTINATION ${velmora_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_CONTACT "Velmora developers <maintainers@velmora.dev>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
# Debian's checker wants every line of the description within 80 characters.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "SQL Server initialisation data as INSERT scripts
 Velmora turns the rows of chosen tables of a Microsoft SQL Server database
 into MakeInitData.txt, a plain-text script of INSERT statements that
 re-creates those rows in a fresh copy of the database. It comes as a desktop
 window (velmora) and as a command for scripts and servers without a display
 (velmora-export).")
# The libraries the programs link (Qt 6 Widgets, unixODBC, libjpeg) are found by
# dpkg-shlibdeps; the two listed here are only loaded at run time: the ODBC driver through the
# driver manager, and the CJK font through fontconfig.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tdsodbc, fonts-noto-cjk")
include(CPack)

# The package test runs cpack on this build folder; a sanitizer build is not packaged.
if(NOT VELMORA_SANITIZE)
  add_test(NAME package
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR}
                   ${PROJECT_VERSION})
  add_test(NAME package_lintian
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/lintian_test.sh ${CMAKE_BINARY_DIR}
                   ${PROJECT_VERSION})
  # cpack builds the install tree of the whole folder, so nothing else should run beside it.
  set_tests_properties(package package_lintian PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
  set_tests_properties(package_lintian PROPERTIES SKIP_RETURN_CODE 77)
endif()
