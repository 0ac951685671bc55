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

# Tests that need a real X server (clipboard, Ctrl held, tray, hot key): each test runs on a
# private Xvfb started by scripts/with-xvfb.sh (TRAY: with a tray host); listing them needs no
# display. They carry the label x11.
function(vemra_add_x11_test name)
  cmake_parse_arguments(T "TRAY" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT TARGET Qt6::Widgets)
    find_package(Qt6 REQUIRED COMPONENTS Widgets)
  endif()
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/X11TestMain.cpp)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE vemra_options ${T_LIBS} Qt6::Widgets GTest::gtest GTest::gmock)
  if(T_TRAY)
    set(tray 1)
  else()
    set(tray 0)
  endif()
  target_compile_definitions(${name} PRIVATE
    VEMRA_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures"
    VEMRA_WITH_XVFB="${PROJECT_SOURCE_DIR}/scripts/with-xvfb.sh"
    VEMRA_X11_TRAY=${tray})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "x11;${T_LABELS}")
endfunction()
