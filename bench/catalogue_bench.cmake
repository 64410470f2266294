varnet_bench(bench_catalogue SOURCES ${CMAKE_CURRENT_LIST_DIR}/catalogue_bench.cpp
  LIBS varnet::halvec_core varnet::zqlib varnet::zqlog)
