# One interface target carries the language level, warnings and definitions for every
# target of the project, so no global flags are needed.
add_library(vemra_options INTERFACE)
target_compile_features(vemra_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(vemra_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
  -Wformat=2 -Wimplicit-fallthrough)
target_compile_definitions(vemra_options INTERFACE
  VEMRA_VERSION_TEXT="${PROJECT_VERSION}")

if(VEMRA_SANITIZE)
  target_compile_options(vemra_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(vemra_options INTERFACE -fsanitize=address,undefined)
endif()

# Tests: one GoogleTest executable per area, registered with CTest.
function(vemra_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE vemra_options ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE VEMRA_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${T_LABELS}")
endfunction()
