# zel_add_test(NAME name LABEL unit|gui|e2e SOURCES ... LIBS ... [ENV ...] [TIMEOUT s]
#              [UNITY_BATCH n] [PARTS suffix filter ...])
# One ctest entry per test binary; each runs in a folder of its own, so files the
# code under test writes into the working directory (port.out, com.ini,
# demo_trk.bin) never collide between binaries running in parallel. "@WORKDIR@"
# in ENV stands for that folder.
# PARTS splits a long binary into ctest entries name<suffix> (the suffix "-"
# for none), each running the tests its gtest filter selects, so that ctest
# can run them side by side; the filter REST selects every test the other
# parts leave out.
#
# A test binary compiles as one unit (UNITY_BATCH n: n files a unit) with a
# precompiled header shared by all test binaries: GoogleTest and the standard
# library, and the Qt Widgets headers for binaries that use Qt. Helpers in
# unnamed namespaces therefore need names unique within their binary.
option(ZEL_TEST_UNITY "Compile each test binary as one unit" ON)
# A precompiled header names the folder it was made in, so a compiler cache
# never finds the units built on it in another clone: with ccache the test
# units go without it (a fresh clone then builds from the cache).
if(ZEL_CCACHE AND ZEL_CCACHE_PROGRAM)
  set(pch_default OFF)
else()
  set(pch_default ON)
endif()
option(ZEL_TEST_PCH "Share precompiled headers between the test binaries" ${pch_default})

set(ZEL_TEST_STD_HEADERS <gtest/gtest.h> <algorithm> <array> <chrono> <cstdint> <cstdio> <cstring> <filesystem>
    <fstream> <functional> <map> <memory> <set> <sstream> <string> <thread> <vector>)

# The two hosts of the precompiled headers; made once, from tests/CMakeLists.txt.
function(zel_test_pch_hosts)
  if(NOT ZEL_TEST_PCH)
    return()
  endif()
  add_library(zel_test_pch STATIC ${PROJECT_SOURCE_DIR}/cmake/pch_host.cpp)
  target_link_libraries(zel_test_pch PRIVATE GTest::gtest Threads::Threads)
  target_precompile_headers(zel_test_pch PRIVATE ${ZEL_TEST_STD_HEADERS})
  # Qt's test library is left out: its definitions name each test's own folder.
  add_library(zel_gui_test_pch STATIC ${PROJECT_SOURCE_DIR}/cmake/pch_host.cpp)
  target_link_libraries(zel_gui_test_pch PRIVATE GTest::gtest Threads::Threads Qt6::Widgets Qt6::PrintSupport)
  target_precompile_headers(zel_gui_test_pch PRIVATE ${ZEL_TEST_STD_HEADERS} <QtWidgets>)
endfunction()

# The units of a test binary: files that include its sources, batch files a
# unit (0: all), named relative to the build folder (unlike the compiler's own
# unity build), so that a compiler cache finds them again in another clone.
# Files other than .cpp stay as they are.
function(zel_test_units name batch out)
  if(NOT batch)
    set(batch 0)
  endif()
  set(result "")
  set(content "")
  set(count 0)
  set(index 0)
  foreach(src IN LISTS ARGN)
    if(NOT src MATCHES "\\.cpp$")
      list(APPEND result ${src})
      continue()
    endif()
    cmake_path(ABSOLUTE_PATH src BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE OUTPUT_VARIABLE abs)
    file(RELATIVE_PATH rel ${CMAKE_CURRENT_BINARY_DIR} ${abs})
    string(APPEND content "#include \"${rel}\"\n")
    math(EXPR count "${count} + 1")
    if(batch GREATER 0 AND count EQUAL batch)
      set(unit ${CMAKE_CURRENT_BINARY_DIR}/${name}_unit_${index}.cpp)
      file(CONFIGURE OUTPUT ${unit} CONTENT "${content}" @ONLY)
      list(APPEND result ${unit})
      math(EXPR index "${index} + 1")
      set(content "")
      set(count 0)
    endif()
  endforeach()
  if(count GREATER 0)
    set(unit ${CMAKE_CURRENT_BINARY_DIR}/${name}_unit_${index}.cpp)
    file(CONFIGURE OUTPUT ${unit} CONTENT "${content}" @ONLY)
    list(APPEND result ${unit})
  endif()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(zel_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT;UNITY_BATCH" "SOURCES;LIBS;ENV;PARTS" ${ARGN})
  if(ZEL_TEST_UNITY)
    zel_test_units(${T_NAME} "${T_UNITY_BATCH}" units ${T_SOURCES})
    add_executable(${T_NAME} ${units})
    # Types of one test file that hold a type of its unnamed namespace are no
    # longer in the main file of the unit.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${T_NAME} PRIVATE -Wno-subobject-linkage)
    endif()
  else()
    add_executable(${T_NAME} ${T_SOURCES})
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(ZEL_TEST_PCH)
    set(host zel_test_pch)
    foreach(lib IN LISTS T_LIBS)
      if(lib MATCHES "^(Qt6::|zel_app$|zel_test_support$|zel_ui$|zel_.*_ui$)")
        set(host zel_gui_test_pch)
      endif()
    endforeach()
    target_precompile_headers(${T_NAME} REUSE_FROM ${host})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 240)
  endif()
  if(NOT T_PARTS)
    set(T_PARTS - *)
  endif()
  # The filter of REST: every test the other parts do not select.
  set(others "")
  set(parts ${T_PARTS})
  while(parts)
    list(POP_FRONT parts suffix filter)
    if(NOT filter STREQUAL "REST")
      string(APPEND others ":${filter}")
    endif()
  endwhile()
  string(REGEX REPLACE "^:" "" others "${others}")
  while(T_PARTS)
    list(POP_FRONT T_PARTS suffix filter)
    if(filter STREQUAL "REST")
      set(filter "-${others}")
    endif()
    set(name ${T_NAME})
    if(NOT suffix STREQUAL "-")
      string(APPEND name ${suffix})
    endif()
    set(workdir ${CMAKE_CURRENT_BINARY_DIR}/${name}.work)
    file(MAKE_DIRECTORY ${workdir})
    string(REPLACE "@WORKDIR@" "${workdir}" env "${T_ENV}")
    add_test(NAME ${name} COMMAND ${T_NAME} --gtest_filter=${filter} WORKING_DIRECTORY ${workdir})
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};ZEL_BINARY_DIR=${PROJECT_BINARY_DIR};${env}")
  endwhile()
endfunction()
