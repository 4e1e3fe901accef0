# End-to-end: the real program under Wine. One template prefix per kind of
# Windows and run (a fixture), copied by each group of scenarios.
set(E2E_WORK "${CMAKE_BINARY_DIR}/e2e")
set(E2E_RUN ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/run_e2e.py)

# 32-bit Windows, and 64-bit Windows where the program runs under WoW64.
foreach(arch win32 win64)
    add_test(NAME e2e_prefix_${arch} COMMAND ${E2E_RUN} template ${E2E_WORK}/template_${arch} --arch ${arch})
    set_tests_properties(e2e_prefix_${arch} PROPERTIES FIXTURES_SETUP wine_${arch} LABELS e2e TIMEOUT 1800)
endforeach()

# test name | group of scenarios | Windows | locale (its ANSI code page)
set(E2E_RUNS
    "install|install|win32|cs_CZ.UTF-8"
    "refuse|refuse|win32|cs_CZ.UTF-8"
    "window|window|win32|cs_CZ.UTF-8"
    "package|package|win32|cs_CZ.UTF-8"
    "unprivileged|unprivileged|win32|cs_CZ.UTF-8"
    "faults|faults|win32|cs_CZ.UTF-8"
    "awkward|awkward|win32|cs_CZ.UTF-8"
    "install64|install|win64|cs_CZ.UTF-8"
    "refuse64|refuse|win64|cs_CZ.UTF-8"
    "package64|package|win64|cs_CZ.UTF-8"
    "texts_western|texts|win32|en_US.UTF-8")
foreach(run ${E2E_RUNS})
    string(REPLACE "|" ";" run "${run}")
    list(GET run 0 name)
    list(GET run 1 group)
    list(GET run 2 arch)
    list(GET run 3 locale)
    add_test(NAME e2e_${name}
        COMMAND ${E2E_RUN} group ${group}
            --template ${E2E_WORK}/template_${arch}
            --arch ${arch}
            --locale ${locale}
            --installer ${DIST_DIR}/instalator.exe
            --driver ${WIN_BUILD_DIR}/tests/e2e/driver.exe
            --package ${DIST_DIR}/${PACKAGE_NAME}
            --work ${E2E_WORK}/${name})
    set_tests_properties(e2e_${name} PROPERTIES FIXTURES_REQUIRED wine_${arch} LABELS e2e TIMEOUT 1800)
endforeach()

# A map author's signed release, built by the release test: the package
# group again, with that release's About text.
add_test(NAME e2e_package_release
    COMMAND ${E2E_RUN} group package
        --template ${E2E_WORK}/template_win32
        --arch win32
        --locale cs_CZ.UTF-8
        --installer ${RELEASE_WORK}/dist/instalator.exe
        --driver ${WIN_BUILD_DIR}/tests/e2e/driver.exe
        --package ${RELEASE_WORK}/dist/${RELEASE_PACKAGE}
        --credits ${RELEASE_WORK}/build/generated/credits.txt
        --work ${E2E_WORK}/release)
set_tests_properties(e2e_package_release PROPERTIES
    FIXTURES_REQUIRED "wine_win32;author_release" LABELS e2e TIMEOUT 1800)
