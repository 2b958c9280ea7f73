# The installed tree (programs, data, desktop integration, manual pages) and the Debian package.  Included
# at the end of CMakeLists.txt, once every target exists, by the builds that install (not the sanitizer or
# fuzzing builds).

# The program icon for the desktop's icon theme, drawn at each size from the window icon by a small
# program of ours; the manual pages gzipped as Debian installs them (-n: the same bytes every build).
set(TRAZEL_ICON_SIZES 16 32 48 64 128 256)
add_executable(trazel_make_icons ${CMAKE_SOURCE_DIR}/tools/make_icons.cpp ${CMAKE_SOURCE_DIR}/src/app/cli/png_out.cpp)
target_link_libraries(trazel_make_icons PRIVATE trazel_shell)
if(PNG_FOUND)
    target_link_libraries(trazel_make_icons PRIVATE PNG::PNG)
    target_compile_definitions(trazel_make_icons PRIVATE TRAZEL_HAVE_LIBPNG=1)
endif()
set(icon_files "")
foreach(n IN LISTS TRAZEL_ICON_SIZES)
    list(APPEND icon_files ${CMAKE_BINARY_DIR}/icons/hicolor/${n}x${n}/apps/trazel.png)
endforeach()
add_custom_command(
    OUTPUT ${icon_files}
    COMMAND trazel_make_icons ${CMAKE_BINARY_DIR}/icons/hicolor
    DEPENDS trazel_make_icons
    COMMENT "Drawing the program icons")
set(man_files "")
foreach(page trazel.1 trazel-cli.1)
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND sh -c "gzip -9nc '${CMAKE_SOURCE_DIR}/man/${page}' > '${CMAKE_BINARY_DIR}/man/${page}.gz'"
        DEPENDS ${CMAKE_SOURCE_DIR}/man/${page}
        VERBATIM)
    list(APPEND man_files ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
# The package's changelog, which Debian keeps gzipped beside the other documentation.
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
    COMMAND sh -c "gzip -9nc '${CMAKE_BINARY_DIR}/doc/changelog' > '${CMAKE_BINARY_DIR}/doc/changelog.gz'"
    DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog
    VERBATIM)
add_custom_target(trazel_install_files ALL DEPENDS ${icon_files} ${man_files} ${CMAKE_BINARY_DIR}/doc/changelog.gz)

install(TARGETS trazel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET trazel)
    install(TARGETS trazel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# run-demo.sh drives a build tree; the installed examples are the files alone.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/share/TEMPLATE ${CMAKE_SOURCE_DIR}/share/LIBRARY ${CMAKE_SOURCE_DIR}/share/examples
        DESTINATION ${CMAKE_INSTALL_DATADIR}/trazel PATTERN "*.sh" EXCLUDE)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/trazel.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/trazel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${man_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: the installed tree under /usr, its dependencies computed by dpkg-shlibdeps from
# the libraries the programs link (dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trazel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The TRAZEL developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive electronics design: schematics, circuit boards, CAM output")
# One string: CPack puts the summary line above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "TRAZEL draws circuit schematics and lays out printed circuit boards, checks
their connectivity and clearances, routes them automatically, pours copper
planes and writes Gerber photoplots, Excellon drill files, PostScript and
HPGL plots, netlists and bills of material.  The batch tool trazel-cli runs
every output without a display.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "TRAZEL developers <trazel-dev@users.noreply.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The install test installs this build tree; it needs everything the install rules copy.
if(TARGET test_install)
    target_compile_definitions(test_install PRIVATE TRAZEL_BUILD_DIR="${CMAKE_BINARY_DIR}"
                               TRAZEL_CMAKE="${CMAKE_COMMAND}" TRAZEL_VERSION="${PROJECT_VERSION}")
    add_dependencies(test_install trazel-cli trazel_install_files)
    if(TARGET trazel)
        add_dependencies(test_install trazel)
    endif()
endif()
