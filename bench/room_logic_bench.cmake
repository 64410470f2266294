# The room logic: notices through reader and dispatch, chat messages from the chat server to the window.
varnet_bench(bench_room_logic SOURCES ${CMAKE_CURRENT_LIST_DIR}/room_logic_bench.cpp
  LIBS varnet::room_logic varnet::testenv_chat_server)
