# Host build: the logic against the tests' stand-in, and the tests.
include(CTest)
find_package(GTest REQUIRED)
include(GoogleTest)

option(SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(logic_host STATIC ${LOGIC_SOURCES} tests/standin/standin.cpp)
target_include_directories(logic_host PUBLIC ${LOGIC_INCLUDES} tests/standin)

add_subdirectory(tests)
