# The standalone PE32 program and the package, in the build tree (build.sh
# copies the package and its checksum to dist/).
enable_language(RC)

# The program's file name, without .exe: the package unpacks it under this
# name too; everything else takes it from the target.
set(PROGRAM_NAME instalator)
set(MAP_FILE "${CMAKE_SOURCE_DIR}/package/sample/Am01.dvp" CACHE FILEPATH
    "The map the package carries; packed as Am01.dvp whatever its name")
# A link to the map where the author keeps it: not copied, and a path
# makensis reads in any locale.
set(MAP_STAGED "${CMAKE_BINARY_DIR}/package/Am01.dvp")
set(PACKAGE_FILE "${CMAKE_BINARY_DIR}/package/${PACKAGE_NAME}")
set(PACKAGE_ICON "${CMAKE_SOURCE_DIR}/resources/installer.ico")
set(PACKAGE_RELEASE "${CMAKE_BINARY_DIR}/package/release.nsh")  # its version keys

# The product's flags for every Windows program we build: the installer,
# and the test driver and the benchmark's baseline, measured beside it.
function(windows_program target)
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501 WINVER=0x0501
        # mingw's own bounded printf family, linked in statically.
        __USE_MINGW_ANSI_STDIO=1)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:C,CXX>:-Os -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>
        $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
    target_link_options(${target} PRIVATE
        -static -s
        # Reproducible bytes; ASLR and DEP; runs on Windows XP and later.
        -Wl,--no-insert-timestamp,--dynamicbase,--nxcompat,--tsaware
        -Wl,--major-subsystem-version,5,--minor-subsystem-version,1
        -Wl,--major-os-version,5,--minor-os-version,1)
endfunction()

add_executable(installer WIN32 ui/win_main.cpp ui/dialog_layout.cpp ${LOGIC_SOURCES} resources/installer.rc)
windows_program(installer)
set_target_properties(installer PROPERTIES OUTPUT_NAME "${PROGRAM_NAME}")
target_include_directories(installer PRIVATE ${LOGIC_INCLUDES} install/win32 "${GENERATED_DIR}")
# Signed in place when the environment names a certificate (author/seal.sh).
# SIGNING tells what it is signed with (build.sh: a digest of the certificate
# and the timestamp server), so that another links and signs it again.
add_custom_command(TARGET installer POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/author/seal.sh "$<TARGET_FILE:installer>"
    VERBATIM)
if(NOT DEFINED SIGNING)
    set(SIGNING "$ENV{SIGN_PKCS12}")
endif()
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/signing.txt" CONTENT "${SIGNING}")
set_property(TARGET installer APPEND PROPERTY LINK_DEPENDS "${CMAKE_BINARY_DIR}/signing.txt")

# windres reads the template's files through the include path and its
# text as UTF-16 escapes; pin the code page anyway.
set(CMAKE_RC_FLAGS "--codepage=1250")
# The picture and the version information come from the texts file.
add_custom_command(OUTPUT "${GENERATED_DIR}/installer.bmp"
    COMMAND ${TEXTS_TOOL} picture "${TEXTS_FILE}" "${GENERATED_DIR}/installer.bmp"
    DEPENDS ${TEXTS_DEPENDS}
    COMMENT "Picture from ${TEXTS_FILE}"
    VERBATIM)
add_custom_command(OUTPUT "${GENERATED_DIR}/version.rc"
    COMMAND ${TEXTS_TOOL} rc "${TEXTS_FILE}" "${GENERATED_DIR}/version.rc"
    DEPENDS ${TEXTS_DEPENDS}
    VERBATIM)
set(RESOURCE_FILES
    ${CMAKE_SOURCE_DIR}/resources/resource.h
    "${GENERATED_DIR}/installer.bmp"
    "${GENERATED_DIR}/version.rc"
    ${CMAKE_SOURCE_DIR}/resources/installer.ico
    ${CMAKE_SOURCE_DIR}/resources/installer.manifest)
set_source_files_properties(resources/installer.rc PROPERTIES OBJECT_DEPENDS "${RESOURCE_FILES}")

# The tests of the built files live here, with the targets that make them:
# `ctest` in this tree builds first (the fixture "built"), so no test reads
# a stale file. test_files: what only the tests need (bench_files: the
# benchmark's, built by its own test).
enable_testing()
add_custom_target(test_files)
add_test(NAME build COMMAND "${CMAKE_COMMAND}" --build "${CMAKE_BINARY_DIR}" --target all test_files)
set_tests_properties(build PROPERTIES FIXTURES_SETUP built)
# Packages beside the product's: the same script with no files (its own
# size), and starting the plain baseline (the benchmark's peer).
set(EMPTY_PACKAGE "${CMAKE_BINARY_DIR}/package/empty.exe")
set(PEER_PACKAGE "${CMAKE_BINARY_DIR}/bench/peer.exe")
# The end-to-end runs' work folders and the Wine template prefixes, which the
# benchmark copies too.
set(E2E_WORK "${CMAKE_BINARY_DIR}/e2e")
add_subdirectory(package)
add_subdirectory(bench)
add_subdirectory(tests/built)
add_subdirectory(tests/e2e)

# What the build made, by path, for the scripts that run it (bench/run.sh,
# package/try-it.sh, testbed/screenshot.sh): sourced there.
file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/built-files.sh" CONTENT
"program='$<TARGET_FILE:installer>'
map='${MAP_STAGED}'
package='${PACKAGE_FILE}'
empty_package='${EMPTY_PACKAGE}'
peer='${PEER_PACKAGE}'
driver='$<TARGET_FILE:e2e_driver>'
minimal='$<TARGET_FILE:minimal_dlg>'
durable='$<TARGET_FILE:minimal_durable>'
template='${E2E_WORK}/template_win32'
")
