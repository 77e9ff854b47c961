# Where an installation puts the program and what the packages hold.
#
# The program keeps its database beside its real executable, so the folder that holds
# the executable must be one its user can write to. On Linux the program therefore lies
# in a folder of its own under the data folder, and bin/ only holds a link to it:
#
#   cmake --install build --prefix ~/.local
#     ~/.local/share/brimlet/brimlet          the program; its database "traffic" lands here
#     ~/.local/bin/brimlet -> ../share/brimlet/brimlet
#     ~/.local/share/man/man1/brimlet.1
#     ~/.local/share/systemd/user/brimlet.{service,timer}
#     ~/.local/share/systemd/user/brimlet-cap.{service,timer}  a daily check against a cap
#     ~/.local/share/doc/brimlet/contrib/...  status bar and scheduler examples
#     ~/.local/bin/brimlet-report             days, billing cycles and a cap, from the database
#
# On Windows the program, its database and the scheduler definition share one folder,
# packed as a .zip.

include(GNUInstallDirs)

set(brimletContrib ${PROJECT_SOURCE_DIR}/contrib)

if(WIN32)
    install(TARGETS brimlet RUNTIME DESTINATION .)
    install(FILES ${brimletContrib}/windows/brimlet-task.xml ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
else()
    set(BRIMLET_PROGRAM_DIR "${CMAKE_INSTALL_DATADIR}/brimlet" CACHE STRING
        "Folder, under the prefix, that holds the program and its database")

    install(TARGETS brimlet RUNTIME DESTINATION ${BRIMLET_PROGRAM_DIR})

    # A relative link, so that the installed tree can be moved or staged with DESTDIR.
    file(RELATIVE_PATH brimletLinkTarget /${CMAKE_INSTALL_BINDIR} /${BRIMLET_PROGRAM_DIR}/brimlet)
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/brimlet\")
        message(STATUS \"Installing: \${link} -> ${brimletLinkTarget}\")
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(CREATE_LINK \"${brimletLinkTarget}\" \"\${link}\" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${link}\")
    ")

    install(FILES ${PROJECT_SOURCE_DIR}/man/brimlet.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

    # The service names the program by its installed path, which is only known once
    # the prefix is (cmake --install --prefix may change it after configuring).
    set(brimletService ${PROJECT_BINARY_DIR}/contrib/brimlet.service)
    set(brimletCapService ${PROJECT_BINARY_DIR}/contrib/brimlet-cap.service)
    install(CODE "
        get_filename_component(BRIMLET_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${BRIMLET_PROGRAM_DIR}/brimlet\" ABSOLUTE)
        get_filename_component(BRIMLET_REPORT \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/brimlet-report\" ABSOLUTE)
        configure_file(\"${brimletContrib}/systemd/brimlet.service.in\" \"${brimletService}\" @ONLY)
        configure_file(\"${brimletContrib}/systemd/brimlet-cap.service.in\" \"${brimletCapService}\" @ONLY)
    ")
    install(FILES ${brimletService} ${brimletContrib}/systemd/brimlet.timer
                  ${brimletCapService} ${brimletContrib}/systemd/brimlet-cap.timer
            DESTINATION ${CMAKE_INSTALL_DATADIR}/systemd/user)

    # A program rather than an example: it goes on the PATH, and finds the database
    # beside the brimlet it finds there.
    install(PROGRAMS ${brimletContrib}/report/brimlet-report DESTINATION ${CMAKE_INSTALL_BINDIR})

    install(DIRECTORY ${brimletContrib}/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/contrib
            PATTERN "systemd" EXCLUDE PATTERN "windows" EXCLUDE PATTERN "report" EXCLUDE)
endif()

set(CPACK_PACKAGE_NAME brimlet)
set(CPACK_PACKAGE_VENDOR "Brimlet team")
set(CPACK_PACKAGE_CONTACT "Brimlet team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps an upload/download traffic database and prints a one-line summary")
set(CPACK_PACKAGE_DESCRIPTION "Each run reads the byte counters of every network adapter, merges the reading
into a small database beside the program and prints a line shaped by a pattern,
for status bars, shells and scheduled sampling.")
set(CPACK_STRIP_FILES ON)
if(WIN32)
    # Not yet tried: the Windows build is still being brought up.
    set(CPACK_GENERATOR ZIP)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION net)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
