# Live streams through nginx-rtmp: the delay from publisher to player (ours and ffmpeg's), and the CPU
# time of playback.
if(TARGET Tesmar AND TARGET Rondel AND TARGET varnet_testenv_nginx_rtmp AND TARGET varnet_testenv_media_sources)
  varnet_bench(bench_streams SOURCES ${CMAKE_CURRENT_LIST_DIR}/streams_bench.cpp
    LIBS Tesmar Rondel Grabbel varnet_testenv_nginx_rtmp varnet_testenv_media_sources)
endif()
