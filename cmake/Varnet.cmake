# Helpers shared by every folder's CMakeLists.txt.

# Adds every immediate subfolder of DIR that has a CMakeLists.txt.
function(varnet_add_subdirs dir)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/${dir} ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${dir}/${child})
    endif()
  endforeach()
endfunction()

# Adds each named folder that has a CMakeLists.txt.
function(varnet_add_subdirs_in)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# varnet_test(NAME SOURCES ... LIBS ... [LABELS ...] [ENV VAR=VALUE ...] [SERIAL])
# One GoogleTest program; every test case becomes one CTest test so that CTest runs them in parallel.
function(varnet_test name)
  if(VARNET_FUZZ)
    return()
  endif()
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main Threads::Threads)
  # The UI test driver is a test-only library; any test may drive windows.
  target_link_libraries(${name} PRIVATE varnet::ui_test_driver)
  # Tests write skin archives with libzip (tests/support); the program reads them with zlib alone.
  target_link_libraries(${name} PRIVATE PkgConfig::LIBZIP)
  target_compile_definitions(${name} PRIVATE
    VARNET_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VARNET_BINARY_DIR="${PROJECT_BINARY_DIR}")
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  set(props TIMEOUT ${T_TIMEOUT} ENVIRONMENT "SDL_AUDIODRIVER=dummy;${T_ENV}")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# varnet_fuzz(NAME SOURCES ... LIBS ... [CORPUS dir] [ARGS libFuzzer flags ...])
# A libFuzzer target, built only in the clang fuzz build; the normal build's tests run it briefly
# when VARNET_FUZZ_BUILD_DIR names that build (ARGS after the usual flags, so they may replace them).
function(varnet_fuzz name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS;ARGS" ${ARGN})
  if(VARNET_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzzers ${name})
  elseif(VARNET_FUZZ_BUILD_DIR)
    set(args -max_total_time=${VARNET_FUZZ_SECONDS} -rss_limit_mb=2048 -max_len=65536 -print_final_stats=0 ${F_ARGS})
    set(work ${CMAKE_BINARY_DIR}/fuzz-work/${name})
    file(MAKE_DIRECTORY ${work})
    set(dirs ${work})
    if(F_CORPUS)
      list(APPEND dirs ${CMAKE_CURRENT_SOURCE_DIR}/${F_CORPUS})
    endif()
    add_test(NAME fuzz.${name} COMMAND ${VARNET_FUZZ_BUILD_DIR}/bin/${name} ${args} ${dirs})
    set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
  endif()
endfunction()

# varnet_bench(NAME SOURCES ... LIBS ...): a Google Benchmark program; built, never run by the tests.
function(varnet_bench name)
  if(VARNET_FUZZ)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    VARNET_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VARNET_BINARY_DIR="${PROJECT_BINARY_DIR}")
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
endfunction()

# varnet_media_hidden(TARGET): only what the library marks VARNET_MEDIA_EXPORT is visible outside it.
function(varnet_media_hidden name)
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()
