# Live streams through nginx-rtmp: the delay from publisher to player (ours and ffmpeg's), and the CPU
# time of playback.
varnet_bench(bench_streams SOURCES ${CMAKE_CURRENT_LIST_DIR}/streams_bench.cpp
  LIBS varnet::Tesmar varnet::Rondel varnet::Grabbel varnet::testenv_nginx_rtmp varnet::testenv_media_sources)
