# The room logic: notices through reader and dispatch, chat messages from the chat server to the window.
if(TARGET varnet_room_logic AND TARGET varnet_testenv_chat_server)
  varnet_bench(bench_room_logic SOURCES ${CMAKE_CURRENT_LIST_DIR}/room_logic_bench.cpp
    LIBS varnet_room_logic varnet_testenv_chat_server)
endif()
