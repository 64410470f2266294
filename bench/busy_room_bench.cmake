# The real program in the busy room of the local stack against eleven ffplay on the same streams (CPU), and
# against one web view plus those ffplay (memory).
varnet_bench(bench_busy_room SOURCES ${CMAKE_CURRENT_LIST_DIR}/busy_room_bench.cpp
  ${PROJECT_SOURCE_DIR}/tests/e2e/E2eDriver.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/XvfbTyping.cpp
  LIBS varnet::testenv_stack varnet::lobby varnet::duilib_gtk varnet::ui_test_driver PkgConfig::X11 PkgConfig::XEXT PkgConfig::GDK3
    PkgConfig::WEBKIT GTest::gtest)
target_include_directories(bench_busy_room PRIVATE ${PROJECT_SOURCE_DIR}/tests/e2e)
add_dependencies(bench_busy_room Varnet Trenby)
