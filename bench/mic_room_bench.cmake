# Eleven streams in the room window's microphone slots on a display: CPU, pictures drawn, render time.
varnet_bench(bench_mic_room SOURCES ${CMAKE_CURRENT_LIST_DIR}/mic_room_bench.cpp
  LIBS varnet::room_ui varnet::duilib_gtk varnet::Rondel varnet::testenv_nginx_rtmp varnet::testenv_media_sources varnet::core
    PkgConfig::GTK3)
