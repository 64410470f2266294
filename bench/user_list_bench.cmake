# Users arriving in a room of 1,000 to 50,000 users and entering such a room: the room window's user lists on a
# display, against a GtkTreeView holding the same rows.
varnet_bench(bench_user_list SOURCES ${CMAKE_CURRENT_LIST_DIR}/user_list_bench.cpp
  LIBS varnet::room_ui varnet::duilib_gtk varnet::testenv_nginx_rtmp varnet::core PkgConfig::GTK3)
