varnet_bench(bench_catalogue SOURCES ${CMAKE_CURRENT_LIST_DIR}/catalogue_bench.cpp
  LIBS halvec_core varnet_zqlib varnet_zqlog)
