# zel_add_test(NAME name LABEL unit|gui|e2e SOURCES ... LIBS ...)
# One ctest entry per test binary; each runs in a folder of its own, so files the
# code under test writes into the working directory (port.out, com.ini,
# demo_trk.bin) never collide between binaries running in parallel.
function(zel_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set(workdir ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}.work)
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} WORKING_DIRECTORY ${workdir})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 240)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};ZEL_BINARY_DIR=${PROJECT_BINARY_DIR};${T_ENV}")
endfunction()
