# The lobby's room directory at 1,000 and 30,000 rooms: filled, counted and shown, and refreshed, on a display,
# against a GtkTreeView holding the same rows.
varnet_bench(bench_directory SOURCES ${CMAKE_CURRENT_LIST_DIR}/directory_bench.cpp
  LIBS varnet::lobby varnet::duilib_gtk varnet::testenv_nginx_rtmp varnet::core PkgConfig::GTK3)
