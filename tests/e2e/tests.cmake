# End-to-end: the real program under Wine. One template prefix per kind of
# Windows (a fixture, which keeps the one there while Wine is as it was),
# copied by each group of scenarios.
set(E2E_RUN ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/run_e2e.py)

# 32-bit Windows, and 64-bit Windows where the program runs under WoW64.
foreach(arch win32 win64)
    tool_test(e2e_prefix_${arch} ${E2E_RUN} template ${E2E_WORK}/template_${arch} --arch ${arch})
    set_tests_properties(e2e_prefix_${arch} PROPERTIES FIXTURES_SETUP wine_${arch} LABELS e2e TIMEOUT 1800)
endforeach()

# A package whose program cannot start: the package's own box must say so.
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/not-a-program.txt" "not a program\n")
set(NOT_A_PROGRAM "${CMAKE_CURRENT_BINARY_DIR}/not-a-program.exe")
nsis_package("${NOT_A_PROGRAM}" PROGRAM "${CMAKE_CURRENT_BINARY_DIR}/not-a-program.txt" MAP "${MAP_STAGED}")
add_custom_target(e2e_packages DEPENDS "${NOT_A_PROGRAM}")
add_dependencies(test_files e2e_driver e2e_packages)

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
# One run: its test, and its arguments for tests/e2e/run.sh (see below).
set(e2e_runs_sh "")
function(e2e_run name group arch locale fixtures installer package credits)
    set(args group ${group} --template ${E2E_WORK}/template_${arch} --arch ${arch} --locale ${locale}
        --installer ${installer} --driver $<TARGET_FILE:e2e_driver> --package ${package}
        --not-a-program ${NOT_A_PROGRAM} --credits ${credits} --work ${E2E_WORK}/${name})
    tool_test(e2e_${name} ${E2E_RUN} ${args})
    set_tests_properties(e2e_${name} PROPERTIES FIXTURES_REQUIRED "built;wine_${arch};${fixtures}"
        LABELS e2e TIMEOUT 1800)
    list(JOIN args "' '" args)
    set(e2e_runs_sh "${e2e_runs_sh}run_${name}=('${args}')\n" PARENT_SCOPE)
endfunction()

foreach(run ${E2E_RUNS})
    string(REPLACE "|" ";" run "${run}")
    e2e_run(${run} "" $<TARGET_FILE:installer> ${PACKAGE_FILE} ${GENERATED_DIR}/credits.txt)
endforeach()

# A map author's signed release, built by the release test: the package
# group again, with that release's About text.
execute_process(COMMAND ${TEXTS_TOOL} get ${CMAKE_SOURCE_DIR}/tests/release/author.toml release.package
    OUTPUT_VARIABLE release_package OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
e2e_run(package_release package win32 cs_CZ.UTF-8 author_release ${RELEASE_WORK}/build/${PROGRAM_NAME}.exe
    ${RELEASE_WORK}/dist/${release_package} ${RELEASE_WORK}/build/generated/credits.txt)

# Each run's arguments, for tests/e2e/run.sh, which runs one by hand.
file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/e2e-runs.sh" CONTENT "${e2e_runs_sh}")
