# End-to-end: the real program under Wine. One template prefix per run
# (a fixture), copied by each group of scenarios.
set(E2E_WORK "${CMAKE_BINARY_DIR}/e2e")
set(E2E_RUN ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/run_e2e.py)

add_test(NAME e2e_prefix COMMAND ${E2E_RUN} template ${E2E_WORK}/template)
set_tests_properties(e2e_prefix PROPERTIES FIXTURES_SETUP wine_prefix LABELS e2e TIMEOUT 1800)

foreach(group install refuse window package unprivileged faults)
    add_test(NAME e2e_${group}
        COMMAND ${E2E_RUN} group ${group}
            --template ${E2E_WORK}/template
            --installer ${DIST_DIR}/instalator.exe
            --driver ${WIN_BUILD_DIR}/tests/e2e/driver.exe
            --package ${DIST_DIR}/${PACKAGE_NAME}
            --work ${E2E_WORK})
    set_tests_properties(e2e_${group} PROPERTIES FIXTURES_REQUIRED wine_prefix LABELS e2e TIMEOUT 1800)
endforeach()

# A map author's signed release, built by the release test: the package
# group again, with that release's About text.
add_test(NAME e2e_package_release
    COMMAND ${E2E_RUN} group package
        --template ${E2E_WORK}/template
        --installer ${RELEASE_WORK}/dist/instalator.exe
        --driver ${WIN_BUILD_DIR}/tests/e2e/driver.exe
        --package ${RELEASE_WORK}/dist/${RELEASE_PACKAGE}
        --credits ${RELEASE_WORK}/build/generated/credits.txt
        --work ${E2E_WORK}/release)
set_tests_properties(e2e_package_release PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;author_release" LABELS e2e TIMEOUT 1800)
