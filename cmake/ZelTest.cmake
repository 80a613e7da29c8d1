# zel_add_test(NAME name LABEL unit|gui|e2e SOURCES ... LIBS ... [PARTS suffix filter ...])
# One ctest entry per test binary; each runs in a folder of its own, so files the
# code under test writes into the working directory (port.out, com.ini,
# demo_trk.bin) never collide between binaries running in parallel.
# PARTS splits a long binary into ctest entries name<suffix> (the suffix "-"
# for none), each running the tests its gtest filter selects, so that ctest
# can run them side by side.
function(zel_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENV;PARTS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 240)
  endif()
  if(NOT T_PARTS)
    set(T_PARTS - *)
  endif()
  while(T_PARTS)
    list(POP_FRONT T_PARTS suffix filter)
    set(name ${T_NAME})
    if(NOT suffix STREQUAL "-")
      string(APPEND name ${suffix})
    endif()
    set(workdir ${CMAKE_CURRENT_BINARY_DIR}/${name}.work)
    file(MAKE_DIRECTORY ${workdir})
    add_test(NAME ${name} COMMAND ${T_NAME} --gtest_filter=${filter} WORKING_DIRECTORY ${workdir})
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZEL_SOURCE_DIR=${PROJECT_SOURCE_DIR};ZEL_BINARY_DIR=${PROJECT_BINARY_DIR};${T_ENV}")
  endwhile()
endfunction()
