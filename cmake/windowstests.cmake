# The Windows build of the tests that need no pseudo-terminal, no simulator and no POSIX
# call, run through Wine (the toolchain's emulator) by scripts/test-windows.sh. Included
# from tests/CMakeLists.txt in place of the Linux test list.

set(support ${CMAKE_CURRENT_SOURCE_DIR}/support)
add_library(quva_testsupport STATIC
    ${support}/dialoganswerer.cpp ${support}/dialoganswerer.h
    ${support}/layerpicture.cpp ${support}/layerpicture.h
    ${support}/logrecorder.cpp ${support}/logrecorder.h
    ${support}/plotdriver.cpp ${support}/plotdriver.h
    ${support}/randomrecording.cpp ${support}/randomrecording.h
    ${support}/replyframes.cpp ${support}/replyframes.h
    ${support}/testfiles.cpp ${support}/testfiles.h
    ${support}/testseed.cpp ${support}/testseed.h
    ${support}/windowdriver.cpp ${support}/windowdriver.h
)
target_include_directories(quva_testsupport PUBLIC ${support})
target_link_libraries(quva_testsupport PUBLIC quva_gui quva_recorder Qt5::Test)

set(QUVA_WINDOWS_TESTS
    gui/tst_plothidpi gui/tst_plotwidget gui/tst_plotzoomcursors gui/tst_timegaprule
    gui/tst_timeplotform gui/tst_timeplotwidget gui/tst_usercalibtab
    modbus/tst_modbusframe
    platform/tst_platformfile
    plotrender/tst_curveenvelope plotrender/tst_plotlayers plotrender/tst_plotticks
    plotrender/tst_polylinesegments plotrender/tst_segmentset plotrender/tst_timeplotcache
    recorder/tst_busschedule
    sensor/tst_analogoutput sensor/tst_calibrationfile sensor/tst_fluidmodel
    sensor/tst_livesampler sensor/tst_mappingcalculation sensor/tst_mappingfile
    sensor/tst_registermap sensor/tst_ublasrelease
    storage/tst_csvline storage/tst_measurementdata storage/tst_selectionstatistics
)

# Qt's offscreen platform on Windows takes its fonts from one folder (QT_QPA_FONTDIR), not
# from the system, and finds none in Qt's own: DejaVu Sans alone (fonts-dejavu-core), the
# font the Linux tests draw with, so that text is drawn, measures as on Linux and needs no
# fallback font for a character such as the 3 of m³. Wine's drive Z: is the Linux root.
set(QUVA_TEST_FONTS ${CMAKE_CURRENT_BINARY_DIR}/fonts)
file(COPY /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
          /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf DESTINATION ${QUVA_TEST_FONTS})

# Wine finds the DLLs through WINEPATH and Qt its plugins through QT_PLUGIN_PATH, both
# given by scripts/test-windows.sh. Wine keeps the QT_ variables of Linux from Windows
# programs and hands them WINEQT_ ones without the WINE. A test that hangs (a dialog nobody
# answers) fails within two minutes instead of holding up the run: Qt Test names the
# function that ran too long before ctest's limit of 120 s ends the program. TZ is for
# Wine's zone; the programs' C runtime does without it (support/timezonewindows.cpp).
set(QUVA_TEST_ENVIRONMENT
    WINEQT_QPA_PLATFORM=offscreen
    WINEQT_QPA_FONTDIR=Z:${QUVA_TEST_FONTS}
    LC_ALL=C
    LANG=C
    TZ=Europe/Berlin
    WINEDEBUG=-all
    QTEST_FUNCTION_TIMEOUT=100000)

foreach(test ${QUVA_WINDOWS_TESTS})
    get_filename_component(name ${test} NAME)
    add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${test}.cpp ${support}/timezonewindows.cpp)
    target_link_libraries(${name} PRIVATE quva_testsupport)
    set(workdir ${CMAKE_CURRENT_BINARY_DIR}/work/${name})
    file(MAKE_DIRECTORY ${workdir})
    add_test(NAME ${test} COMMAND ${name} WORKING_DIRECTORY ${workdir})
    set_tests_properties(${test} PROPERTIES ENVIRONMENT "${QUVA_TEST_ENVIRONMENT}" TIMEOUT 120)
endforeach()

# The COM port against the simulator, which scripts/test-windows.sh starts on a
# pseudo-terminal and maps to a COM port: that script runs it, not ctest.
add_executable(tst_serialtransportwindows
               ${CMAKE_CURRENT_SOURCE_DIR}/modbus/tst_serialtransportwindows.cpp
               ${support}/timezonewindows.cpp)
target_link_libraries(tst_serialtransportwindows PRIVATE quva_testsupport)

# The plot layers' plain C++ path, the one a compiler without GCC's vector extensions
# (MSVC) builds.
add_executable(tst_plotlayers_scalar plotrender/tst_plotlayers.cpp ${support}/layerpicture.cpp
               ${support}/testseed.cpp ${support}/timezonewindows.cpp)
target_include_directories(tst_plotlayers_scalar PRIVATE ${support})
target_link_libraries(tst_plotlayers_scalar PRIVATE quva_plotrender_scalar Qt5::Test)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/work/tst_plotlayers_scalar)
add_test(NAME plotrender/tst_plotlayers_scalar COMMAND tst_plotlayers_scalar
         WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/work/tst_plotlayers_scalar)
set_tests_properties(plotrender/tst_plotlayers_scalar PROPERTIES
    ENVIRONMENT "${QUVA_TEST_ENVIRONMENT}" TIMEOUT 120)
