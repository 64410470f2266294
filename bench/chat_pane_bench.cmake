# Chat lines into a room window's web pane on a display: batched per UI turn against line by line.
varnet_bench(bench_chat_pane SOURCES ${CMAKE_CURRENT_LIST_DIR}/chat_pane_bench.cpp
  LIBS varnet::room_ui varnet::duilib_gtk varnet::testenv_nginx_rtmp varnet::core PkgConfig::GTK3)
