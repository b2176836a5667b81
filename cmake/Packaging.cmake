# SPDX-License-Identifier: MIT
# The program file's own resources, its installation and its Debian package.

# On Windows, the version resource and icon of Tarvelo.exe. (The icon the
# program shows comes with the shell library.)
if(WIN32)
    target_sources(Tarvelo PRIVATE "${TARVELO_RC_FILE}")
endif()

# The program looks for its database in the folder of its own program
# file, so both go into one application folder. On Linux that folder is
# private (lib/tarvelo) and a link on the PATH starts the program: Qt finds
# the application folder through /proc/self/exe, past the link.
if(WIN32 OR APPLE)
    set(TARVELO_INSTALL_APPDIR "${CMAKE_INSTALL_BINDIR}")
else()
    set(TARVELO_INSTALL_APPDIR "lib/tarvelo")
endif()

# tarvelo-count, tarvelo-sort and the list window lie beside the window and
# its database, and so find the database the same way, through their own
# program files.
install(TARGETS Tarvelo tarvelo-count tarvelo-sort tarvelo-list
    RUNTIME DESTINATION "${TARVELO_INSTALL_APPDIR}"
    BUNDLE DESTINATION .)
# The stroke sequences lie beside the database they belong to, as a plain
# file of their own under their source's licence (NOTICE).
install(FILES "${TARVELO_STROKE_DB}" "${TARVELO_STROKE_SEQUENCES}" DESTINATION "${TARVELO_INSTALL_APPDIR}")

if(UNIX AND NOT APPLE)
    foreach(_program IN ITEMS Tarvelo tarvelo-count tarvelo-sort tarvelo-list)
        string(TOLOWER "${_program}" _command)
        set(_tarvelo_launcher "${CMAKE_INSTALL_BINDIR}/${_command}")
        file(RELATIVE_PATH _tarvelo_link_target
            "/${CMAKE_INSTALL_BINDIR}" "/${TARVELO_INSTALL_APPDIR}/${_program}")
        install(CODE "
            set(_launcher \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${_tarvelo_launcher}\")
            file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
            file(REMOVE \"\${_launcher}\")
            message(STATUS \"Installing: \${_launcher} -> ${_tarvelo_link_target}\")
            file(CREATE_LINK \"${_tarvelo_link_target}\" \"\${_launcher}\" SYMBOLIC)
        ")
    endforeach()

    # Manual pages and the package's change log, compressed as Debian
    # wants them: the most, and with no name or time stamp in the header,
    # so that the same sources give the same package.
    find_program(TARVELO_GZIP gzip REQUIRED)
    set(_tarvelo_compressed_dir "${PROJECT_BINARY_DIR}/packaging")
    set(_tarvelo_compressed)
    foreach(_source IN ITEMS resources/tarvelo.1 count/tarvelo-count.1 sort/tarvelo-sort.1
            list_window/tarvelo-list.1 resources/debian/changelog.in)
        get_filename_component(_name "${_source}" NAME)
        string(REGEX REPLACE "\\.in$" "" _name "${_name}")
        configure_file("${PROJECT_SOURCE_DIR}/${_source}" "${_tarvelo_compressed_dir}/${_name}" @ONLY)
        add_custom_command(
            OUTPUT "${_tarvelo_compressed_dir}/${_name}.gz"
            COMMAND "${TARVELO_GZIP}" -n -9 -f -k "${_tarvelo_compressed_dir}/${_name}"
            DEPENDS "${_tarvelo_compressed_dir}/${_name}"
            VERBATIM)
        list(APPEND _tarvelo_compressed "${_tarvelo_compressed_dir}/${_name}.gz")
    endforeach()
    # The Chinese manual pages carry the same names in a folder of their
    # own, as man looks for them by language.
    set(_tarvelo_chinese_dir "${_tarvelo_compressed_dir}/zh_CN")
    set(_tarvelo_chinese_pages)
    foreach(_source IN ITEMS resources/tarvelo.zh_CN.1 count/tarvelo-count.zh_CN.1 sort/tarvelo-sort.zh_CN.1
            list_window/tarvelo-list.zh_CN.1)
        get_filename_component(_name "${_source}" NAME)
        string(REPLACE ".zh_CN" "" _name "${_name}")
        configure_file("${PROJECT_SOURCE_DIR}/${_source}" "${_tarvelo_chinese_dir}/${_name}" @ONLY)
        add_custom_command(
            OUTPUT "${_tarvelo_chinese_dir}/${_name}.gz"
            COMMAND "${TARVELO_GZIP}" -n -9 -f -k "${_tarvelo_chinese_dir}/${_name}"
            DEPENDS "${_tarvelo_chinese_dir}/${_name}"
            VERBATIM)
        list(APPEND _tarvelo_compressed "${_tarvelo_chinese_dir}/${_name}.gz")
        list(APPEND _tarvelo_chinese_pages "${_tarvelo_chinese_dir}/${_name}.gz")
    endforeach()
    add_custom_target(tarvelo_packaging ALL DEPENDS ${_tarvelo_compressed})
    install(FILES ${_tarvelo_chinese_pages} DESTINATION "${CMAKE_INSTALL_MANDIR}/zh_CN/man1")
    install(FILES "${_tarvelo_compressed_dir}/tarvelo.1.gz" "${_tarvelo_compressed_dir}/tarvelo-count.1.gz"
        "${_tarvelo_compressed_dir}/tarvelo-sort.1.gz" "${_tarvelo_compressed_dir}/tarvelo-list.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

    install(FILES "${TARVELO_DESKTOP_FILE}" "${TARVELO_LIST_DESKTOP_FILE}"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    install(FILES "${TARVELO_METAINFO_FILE}" "${TARVELO_LIST_METAINFO_FILE}"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
    foreach(_size IN LISTS TARVELO_ICON_SIZES)
        install(FILES "${PROJECT_SOURCE_DIR}/resources/tarvelo-${_size}.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps"
            RENAME "${TARVELO_APP_ID}.png")
    endforeach()
    set(_tarvelo_docdir "${CMAKE_INSTALL_DATADIR}/doc/tarvelo")
    # Debian looks for the terms of a package in doc/<package>/copyright.
    file(READ "${PROJECT_SOURCE_DIR}/LICENSE" _tarvelo_license)
    file(READ "${PROJECT_SOURCE_DIR}/NOTICE" _tarvelo_notice)
    # The package holds no library; the licences of those it uses stand on
    # every Debian system already, and the copyright file says where.
    set(_tarvelo_common_licenses [=[

On Debian systems, the complete text of the GNU Lesser General Public
License version 3 (Qt) is in /usr/share/common-licenses/LGPL-3, that of
version 2.1 (the stroke sequences) in /usr/share/common-licenses/LGPL-2.1,
and that of the Apache License 2.0 (OpenSSL) in
/usr/share/common-licenses/Apache-2.0.
]=])
    file(CONFIGURE OUTPUT "${PROJECT_BINARY_DIR}/copyright"
        CONTENT "${_tarvelo_license}\n\n${_tarvelo_notice}${_tarvelo_common_licenses}" @ONLY)
    install(FILES "${PROJECT_BINARY_DIR}/copyright" DESTINATION "${_tarvelo_docdir}")
    # A native package's change log.
    install(FILES "${_tarvelo_compressed_dir}/changelog.gz" DESTINATION "${_tarvelo_docdir}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/NOTICE")
else()
    set(_tarvelo_docdir "${TARVELO_INSTALL_APPDIR}")
endif()
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/NOTICE"
    DESTINATION "${_tarvelo_docdir}")

set(CPACK_PACKAGE_NAME "tarvelo")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Tarvelo developers")
set(CPACK_PACKAGE_CONTACT "Tarvelo developers <tarvelo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvelo tells how many strokes each Chinese character of a short input has,\n"
    "and the sum of all strokes. The counts come from the Unicode Han Database.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)

if(UNIX AND NOT APPLE)
    set(CPACK_GENERATOR "DEB")
    set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION "education")
    set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
    # dpkg-shlibdeps finds the libraries the program links. The X11
    # platform plugin and the .ico reader Qt loads at run time come with
    # libqt6gui6, which is one of them.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
        "qt6-translations-l10n, fonts-arphic-uming | fonts-wqy-zenhei, fonts-hanazono")
endif()

include(CPack)
