# The application folder as it ships: a relocatable staged folder, the install rules and the
# packages (a .deb and a .tar.gz of the portable folder).
#
# The folder holds kestrane, regsvr, the tray library and the shared platform libraries side by
# side; each finds the others through its RUNPATH $ORIGIN, so the folder works wherever it is
# copied or moved. Included by the top-level CMakeLists.txt once every target exists.

set(kestrane_programs kestrane regsvr)
set(kestrane_libraries quorvil platform_com platform_win platform_shell)
foreach(t ${kestrane_programs} ${kestrane_libraries})
    set_target_properties(${t} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY "${KESTRANE_STAGE_DIR}"
        LIBRARY_OUTPUT_DIRECTORY "${KESTRANE_STAGE_DIR}"
        BUILD_WITH_INSTALL_RPATH ON
        INSTALL_RPATH "$ORIGIN")
endforeach()
# The program creates the tray object through the registry, not by linking: build it along.
add_dependencies(kestrane quorvil)

# --- Install rules -----------------------------------------------------------------------------
#
# cmake --install (and the .deb) lay out, under the prefix:
#   lib/kestrane/                 the application folder, marked as installed (installed.txt
#                                 names the launcher's folder), so it is never written to: every
#                                 user's state lives in $XDG_DATA_HOME/kestrane
#   bin/kestrane                  the launcher, a link to lib/kestrane/kestrane
#   share/applications/org.kestrane.kestrane.desktop, share/metainfo/ (the AppStream record),
#   share/icons/hicolor/*/apps/, share/doc/kestrane/, share/man/man1/kestrane.1.gz
# The Debian source package in debian/ installs the same files (debian/rules); the changelog
# and copyright of the documents are debian/'s, for both packages.
# The component "portable" (not part of a plain install) is the application folder alone,
# unmarked, at the top of the archive: the .tar.gz.
set(KESTRANE_INSTALL_APPDIR "lib/kestrane")
set(packaging "${PROJECT_SOURCE_DIR}/packaging")
set(generated "${CMAKE_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${generated}")

function(kestrane_install_app_folder destination)
    install(TARGETS ${kestrane_programs} RUNTIME DESTINATION "${destination}" ${ARGN})
    install(TARGETS ${kestrane_libraries} LIBRARY DESTINATION "${destination}" ${ARGN})
    install(DIRECTORY "${PROJECT_SOURCE_DIR}/Images" "${PROJECT_SOURCE_DIR}/Data"
            DESTINATION "${destination}" ${ARGN})
endfunction()

kestrane_install_app_folder("${KESTRANE_INSTALL_APPDIR}" COMPONENT kestrane)
kestrane_install_app_folder("." COMPONENT portable EXCLUDE_FROM_ALL)

file(RELATIVE_PATH launcher_folder "/prefix/${KESTRANE_INSTALL_APPDIR}" "/prefix/bin")
file(WRITE "${generated}/installed.txt" "${launcher_folder}\n")
install(FILES "${generated}/installed.txt" DESTINATION "${KESTRANE_INSTALL_APPDIR}"
        COMPONENT kestrane)
file(RELATIVE_PATH launcher_target "/prefix/bin" "/prefix/${KESTRANE_INSTALL_APPDIR}/kestrane")
file(CREATE_LINK "${launcher_target}" "${generated}/kestrane" SYMBOLIC)
install(FILES "${generated}/kestrane" DESTINATION bin COMPONENT kestrane)

# The menu entry names the launcher by its absolute path, as installed: KWin offers the window
# management protocol (full-screen windows) only to a program whose desktop file lists it in
# X-KDE-Wayland-Interfaces and whose Exec resolves to that program's executable.
install(CODE "file(READ \"${packaging}/org.kestrane.kestrane.desktop\" entry)
    string(REPLACE \"@BINDIR@\" \"\${CMAKE_INSTALL_PREFIX}/bin\" entry \"\${entry}\")
    set(to \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications\")
    message(STATUS \"Installing: \${to}/org.kestrane.kestrane.desktop\")
    file(WRITE \"\${to}/org.kestrane.kestrane.desktop\" \"\${entry}\")"
        COMPONENT kestrane)
install(FILES "${packaging}/org.kestrane.kestrane.metainfo.xml" DESTINATION share/metainfo
        COMPONENT kestrane)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES "${packaging}/icons/${size}/kestrane.png"
            DESTINATION "share/icons/hicolor/${size}x${size}/apps" COMPONENT kestrane)
endforeach()

# --- One version ---------------------------------------------------------------------------
#
# The project's version is the one of the program (--version), the packages and the AppStream
# record: debian/changelog's newest entry must carry it, and the record's newest release must
# carry it with that entry's date. The man page takes both.
file(STRINGS "${PROJECT_SOURCE_DIR}/debian/changelog" changelog_lines)
list(GET changelog_lines 0 changelog_head)
if(NOT changelog_head MATCHES "^kestrane \\(([^)]+)\\)")
    message(FATAL_ERROR "debian/changelog: no version in its first line: ${changelog_head}")
endif()
set(changelog_version "${CMAKE_MATCH_1}")
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(month_names January February March April May June July August September October November
    December)
set(changelog_date "")
set(trailer_date "[A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
foreach(line ${changelog_lines})
    if(line MATCHES "^ -- .*>  ${trailer_date}")
        list(FIND months "${CMAKE_MATCH_2}" month)
        math(EXPR month_number "${month} + 1" OUTPUT_FORMAT DECIMAL)
        string(LENGTH "${month_number}" length)
        if(length EQUAL 1)
            set(month_number "0${month_number}")
        endif()
        set(changelog_date "${CMAKE_MATCH_3}-${month_number}-${CMAKE_MATCH_1}")
        list(GET month_names ${month} month_name)
        set(KESTRANE_RELEASE_MONTH "${month_name} ${CMAKE_MATCH_3}")
        break()
    endif()
endforeach()
file(READ "${packaging}/org.kestrane.kestrane.metainfo.xml" metainfo)
if(NOT metainfo MATCHES "<release version=\"([^\"]+)\" date=\"([^\"]+)\"")
    message(FATAL_ERROR "the AppStream record names no release")
endif()
if(NOT changelog_version STREQUAL PROJECT_VERSION OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION
   OR NOT CMAKE_MATCH_2 STREQUAL changelog_date)
    message(FATAL_ERROR "The version is ${PROJECT_VERSION} (CMakeLists.txt), but debian/changelog's "
            "newest entry is ${changelog_version} of ${changelog_date} and the AppStream "
            "record's newest release ${CMAKE_MATCH_1} of ${CMAKE_MATCH_2}: give them all the "
            "project's version and the same date.")
endif()

# Documents compressed as Debian wants them (gzip -9n: no name, no time stamp); the man page
# carries the project's version.
configure_file("${PROJECT_SOURCE_DIR}/debian/changelog" "${generated}/changelog" COPYONLY)
configure_file("${packaging}/kestrane.1.in" "${generated}/kestrane.1" @ONLY)
foreach(doc changelog kestrane.1)
    execute_process(COMMAND gzip -9nf "${generated}/${doc}" RESULT_VARIABLE gzipped)
    if(NOT gzipped EQUAL 0)
        message(FATAL_ERROR "gzip failed on ${generated}/${doc}")
    endif()
endforeach()
install(FILES "${PROJECT_SOURCE_DIR}/debian/copyright" "${generated}/changelog.gz"
        DESTINATION share/doc/kestrane COMPONENT kestrane)
install(FILES "${generated}/kestrane.1.gz" DESTINATION share/man/man1 COMPONENT kestrane)

# --- Packages ----------------------------------------------------------------------------------
#
# cpack -G DEB: kestrane_<version>_<arch>.deb with the application folder in /usr/lib/kestrane;
# its maintainer scripts register the tray library for all users and unregister it again.
# cpack -G TGZ: kestrane-<version>-Linux.tar.gz, the portable folder.

set(APPDIR "/usr/${KESTRANE_INSTALL_APPDIR}")
foreach(script postinst prerm postrm)
    configure_file("${packaging}/deb/${script}.in" "${generated}/deb/${script}" @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                   GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_PACKAGE_NAME kestrane)
set(CPACK_PACKAGE_VENDOR "the kestrane developers")
set(CPACK_PACKAGE_CONTACT "kestrane developers <kestrane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flashes short text messages on the screen while you work")
set(CPACK_PACKAGE_DESCRIPTION
    "kestrane shows one short message at a time for a few milliseconds, with a pause
of seconds between two messages, in a transparent, click-through window that
stays on top. Messages are kept in named lists that a control panel edits; a
tray icon starts and stops the flashing, and the program can start itself at
logon.")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE "${packaging}/cpack_options.cmake")
set(CPACK_COMPONENTS_ALL kestrane)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries come from dpkg-shlibdeps; Qt's X11 platform plugin and its JPEG and GIF readers,
# loaded at run time, ship with libqt6gui6, which is among them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${generated}/deb/postinst;${generated}/deb/prerm;${generated}/deb/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
