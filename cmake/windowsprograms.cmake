# The Windows programs: their icon and version resources, the window
# program without a console, and the folder layout of the installer and the zip (the
# programs, "Company-Logo.ico" beside them; scripts/build-windows.sh adds the DLLs).

set(QUVA_WINDOWS_DIR ${PROJECT_SOURCE_DIR}/packaging/windows)

function(quva_windows_resource target description)
    set(QUVA_RC_ICON ${PROJECT_SOURCE_DIR}/assets/Company-Logo.ico)
    set(QUVA_RC_NAME ${target})
    set(QUVA_RC_DESCRIPTION ${description})
    set(rc ${CMAKE_BINARY_DIR}/packaging/windows/${target}.rc)
    configure_file(${QUVA_WINDOWS_DIR}/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()

quva_windows_resource(quva-explorer
    "QUVA-Explorer, service and monitoring tool for the QUVA sensor")
quva_windows_resource(quva-recorder "QUVA-Explorer recorder, recording without a window")

# Started from the Start menu: no console window. Recording from a console is
# quva-recorder's, which keeps its console and its Ctrl-C.
set_target_properties(quva-explorer PROPERTIES WIN32_EXECUTABLE ON)

# The window icon is read from beside the executable, in the build as when installed.
configure_file(${PROJECT_SOURCE_DIR}/assets/Company-Logo.ico
               ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Company-Logo.ico COPYONLY)

install(TARGETS quva-explorer quva-recorder RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/assets/Company-Logo.ico DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
