# Chat lines: the whitelist and the text conversion on 1 KB chat texts.
varnet_bench(bench_chat_html SOURCES ${CMAKE_CURRENT_LIST_DIR}/chat_html_bench.cpp LIBS varnet::room)
