# Helpers that keep every folder's CMakeLists short and our own code warning-free.

set(LECTERN_WARNINGS -Wall -Wextra -Wpedantic -Wshadow)
# Errors only in the project's own gate: a user's or packager's compiler may warn where ours does not.
if(LECTERN_WERROR)
  list(APPEND LECTERN_WARNINGS -Werror)
endif()
# The system's COM interfaces have no virtual destructors by design: objects go through Release.
# The check is C++ only; generated C (the picture bundle) shares the targets.
if(NOT WIN32)
  list(APPEND LECTERN_WARNINGS $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
endif()

# lectern_library(NAME SOURCES a.cc b.cc DEPS other_lib ...)
function(lectern_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${LECTERN_WARNINGS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  set_property(GLOBAL APPEND PROPERTY LECTERN_LIBRARIES ${name})
endfunction()

# lectern_test(NAME SOURCES a_test.cc DEPS lib ...): one GoogleTest binary, each case a CTest test.
function(lectern_test name)
  if(NOT LECTERN_TESTS OR LECTERN_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${LECTERN_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} lectern_test_support GTest::gtest_main GTest::gmock)
  set(properties ENVIRONMENT "LECTERN_SOURCE_DIR=${PROJECT_SOURCE_DIR};LECTERN_BINARY_DIR=${PROJECT_BINARY_DIR}")
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under the emulator each start costs more than most cases: one test per binary.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "LECTERN_SOURCE_DIR=${PROJECT_SOURCE_DIR};LECTERN_BINARY_DIR=${PROJECT_BINARY_DIR}")
    if(ARG_LABELS)
      set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  endif()
endfunction()

# lectern_tool(NAME SOURCES main.cc DEPS lib ...)
function(lectern_tool name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${LECTERN_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  install(TARGETS ${name} RUNTIME DESTINATION bin)
endfunction()

# lectern_fuzzer(NAME SOURCES f.cc DEPS lib ...): a libFuzzer target with its seed folder fuzz/corpus/NAME.
function(lectern_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${LECTERN_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
