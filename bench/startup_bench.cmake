# The real program started to its login dialog drawn, and its memory there, against a minimal GTK3 window (a
# program of its own, linked with GTK3 alone).
add_executable(bench_gtk_window ${CMAKE_CURRENT_LIST_DIR}/gtk_window_anchor.cpp)
target_link_libraries(bench_gtk_window PRIVATE PkgConfig::GTK3)
varnet_bench(bench_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp
  ${PROJECT_SOURCE_DIR}/tests/e2e/E2eDriver.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/XvfbTyping.cpp
  LIBS varnet::testenv_stack varnet::lobby varnet::duilib_gtk varnet::ui_test_driver PkgConfig::X11 PkgConfig::XEXT
    PkgConfig::GDK3 GTest::gtest)
target_include_directories(bench_startup PRIVATE ${PROJECT_SOURCE_DIR}/tests/e2e)
add_dependencies(bench_startup Varnet Trenby bench_gtk_window)
