# Chat lines: the whitelist and the text conversion on 1 KB chat texts; the whitelist on hostile texts up to
# the largest chat frame, against libxml2.
varnet_bench(bench_chat_html SOURCES ${CMAKE_CURRENT_LIST_DIR}/chat_html_bench.cpp
  LIBS varnet::room PkgConfig::LIBXML2)
