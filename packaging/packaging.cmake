# Install rules of the three programs with their menu entry, icons, AppStream
# metainfo, manual pages and the user's documents, and the Debian package CPack builds from
# them (scripts/package.sh). Included from the top level, where CPack reads its
# variables.
set(QUVA_APP_ID com.tarnwell.QuvaExplorer)
set(QUVA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QUVA_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(QUVA_ICONS ${PROJECT_SOURCE_DIR}/assets/icons)

install(TARGETS quva-explorer quva-recorder quva-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${QUVA_PACKAGING_DIR}/${QUVA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUVA_ICONS}/quva-explorer.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
    install(FILES ${QUVA_ICONS}/quva-explorer-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME quva-explorer.png)
endforeach()

# The release date in the changelog's form, and as the date of the manual pages,
# so that a rebuild of the same release gives the same files.
execute_process(COMMAND date -u -d "${QUVA_RELEASE_DATE} 12:00" +%s
                OUTPUT_VARIABLE QUVA_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -R -d "@${QUVA_RELEASE_EPOCH}"
                OUTPUT_VARIABLE QUVA_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

configure_file(${QUVA_PACKAGING_DIR}/${QUVA_APP_ID}.metainfo.xml.in
               ${QUVA_PACKAGING_OUT}/${QUVA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${QUVA_PACKAGING_OUT}/${QUVA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
configure_file(${QUVA_PACKAGING_DIR}/changelog.in ${QUVA_PACKAGING_OUT}/changelog @ONLY)

# Manual pages made by help2man from the programs' own --help and --version, and the
# changelog, compressed as Debian wants them (gzip -n: no name, no time stamp).
find_program(HELP2MAN help2man)
find_program(GZIP gzip REQUIRED)
set(QUVA_COMPRESSED_DOCS ${QUVA_PACKAGING_OUT}/changelog.gz)
add_custom_command(OUTPUT ${QUVA_PACKAGING_OUT}/changelog.gz
    COMMAND ${GZIP} -9nkf ${QUVA_PACKAGING_OUT}/changelog
    DEPENDS ${QUVA_PACKAGING_DIR}/changelog.in
    VERBATIM)
set(QUVA_MANUAL_PAGES)
if(HELP2MAN)
    set(quva-explorer_NAME "service and monitoring tool for the QUVA viscosity sensor")
    set(quva-recorder_NAME "record QUVA sensors and publish their samples without a window")
    set(quva-sim_NAME "simulated QUVA sensor, a Modbus RTU slave on a pseudo-terminal")
    foreach(program quva-explorer quva-recorder quva-sim)
        set(page ${QUVA_PACKAGING_OUT}/${program}.1)
        # Run by name from PATH, so the page's usage line holds no build path; no
        # display and no leak report are wanted here.
        add_custom_command(OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                    --unset=QT_QPA_PLATFORM "PATH=$<TARGET_FILE_DIR:${program}>:/usr/bin:/bin"
                    SOURCE_DATE_EPOCH=${QUVA_RELEASE_EPOCH} ASAN_OPTIONS=detect_leaks=0
                    ${HELP2MAN} --no-info --no-discard-stderr "--name=${${program}_NAME}"
                    --include=${QUVA_PACKAGING_DIR}/${program}.h2m --output=${page} ${program}
            COMMAND ${GZIP} -9nf ${page}
            DEPENDS ${program} ${QUVA_PACKAGING_DIR}/${program}.h2m
            VERBATIM)
        list(APPEND QUVA_MANUAL_PAGES ${page}.gz)
    endforeach()
    install(FILES ${QUVA_MANUAL_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man not found: no manual pages (scripts/install-deps.sh installs it)")
endif()

# The user's documents from docs/, gzipped, beside the pictures they link, so that
# their relative links hold in the documentation folder. A link from one of them to
# another gets the .gz the other is installed with. The developers' notes
# (development, performance, reliability) stay in the source tree.
set(QUVA_USER_DOCS user-guide recording-a-plant file-formats)
set(QUVA_DOCS_DIR ${PROJECT_SOURCE_DIR}/docs)
set(QUVA_DOC_PICTURES)
string(JOIN "|" userDocAlternatives ${QUVA_USER_DOCS})
foreach(document ${QUVA_USER_DOCS})
    set(source ${QUVA_DOCS_DIR}/${document}.md)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    file(READ ${source} text)
    string(REGEX MATCHALL "!\\[[^]]*\\]\\([^)]+\\.png\\)" links "${text}")
    foreach(link ${links})
        string(REGEX REPLACE ".*\\(([^)]+)\\)$" "\\1" picture "${link}")
        list(APPEND QUVA_DOC_PICTURES ${QUVA_DOCS_DIR}/${picture})
    endforeach()
    set(output ${QUVA_PACKAGING_OUT}/${document}.md)
    add_custom_command(OUTPUT ${output}.gz
        COMMAND sed -E "s/\\]\\((${userDocAlternatives})\\.md([)#])/](\\1.md.gz\\2/g"
                ${source} > ${output}
        COMMAND ${GZIP} -9nf ${output}
        DEPENDS ${source}
        VERBATIM)
    list(APPEND QUVA_COMPRESSED_DOCS ${output}.gz)
endforeach()
list(REMOVE_DUPLICATES QUVA_DOC_PICTURES)

add_custom_target(package-files ALL DEPENDS ${QUVA_COMPRESSED_DOCS} ${QUVA_MANUAL_PAGES})

install(FILES ${QUVA_PACKAGING_DIR}/copyright ${QUVA_COMPRESSED_DOCS} ${QUVA_DOC_PICTURES}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The recorder as a service: a template unit per line, its user, examples of a line's
# configuration and of a plant's broker.
install(FILES ${QUVA_PACKAGING_DIR}/quva-recorder@.service
        DESTINATION lib/systemd/system)
install(FILES ${QUVA_PACKAGING_DIR}/quva-recorder.sysusers
        DESTINATION lib/sysusers.d RENAME quva-recorder.conf)
install(FILES ${QUVA_PACKAGING_DIR}/quva-recorder-example.conf
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples RENAME quva-recorder.conf)
install(FILES ${QUVA_PACKAGING_DIR}/mosquitto-plant.conf
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quva-explorer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service and monitoring tool for the QUVA viscosity sensor")
set(CPACK_PACKAGE_DESCRIPTION
    "QUVA-Explorer is a Modbus RTU master on a serial line for the QUVA sensor,
which measures the kinematic and dynamic viscosity, the density and the
temperature of a liquid. It shows and changes the sensor's configuration,
records its measurements live in a strip chart, exports them to CSV and XLSX,
imports CSV, derives a viscosity mapping and writes it to the sensor. It can
also record without a window and publish the samples to an MQTT broker.
.
The package also holds quva-recorder, which records several sensors on one
line and publishes their samples to an MQTT broker, or consumes them from it,
without a window and without the desktop libraries, for a plant computer; and
quva-sim, a simulated sensor on a pseudo-terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUVA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUVA_HOMEPAGE_URL})
# The SVG pictures need Qt's SVG image plugin, loaded at run time; its package
# libqt5svg5 comes in through the program's link to Qt5Svg (the package check
# makes sure it stays in Depends).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QUVA_PACKAGING_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
