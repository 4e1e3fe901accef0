# The standalone PE32 program, in dist/.
enable_language(RC)

set(DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "Where the program and the package land")
set(INSTALLER_NAME "instalator" CACHE STRING "File name of the program, without .exe")

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

add_executable(installer WIN32 ui/win_main.cpp ${LOGIC_SOURCES} resources/installer.rc)
windows_program(installer)
set_target_properties(installer PROPERTIES
    OUTPUT_NAME "${INSTALLER_NAME}"
    RUNTIME_OUTPUT_DIRECTORY "${DIST_DIR}")
target_include_directories(installer PRIVATE ${LOGIC_INCLUDES} install/win32 "${GENERATED_DIR}")
# Signed in place when the environment names a certificate (package/seal.sh).
add_custom_command(TARGET installer POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/package/seal.sh "$<TARGET_FILE:installer>"
    VERBATIM)

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

if(EXISTS "${CMAKE_SOURCE_DIR}/tests/e2e/CMakeLists.txt")
    add_subdirectory(tests/e2e)
endif()
if(EXISTS "${CMAKE_SOURCE_DIR}/package/CMakeLists.txt")
    add_subdirectory(package)
endif()
add_subdirectory(bench)
