# Chat lines into a trimming chat pane through the room window, against libxml2 doing the same.
varnet_bench(bench_chat_view SOURCES ${CMAKE_CURRENT_LIST_DIR}/chat_view_bench.cpp
  LIBS varnet::room_ui varnet::core PkgConfig::LIBXML2)
