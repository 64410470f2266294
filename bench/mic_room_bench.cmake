# Eleven streams in the room window's microphone slots on a display: CPU, pictures drawn, render time.
if(TARGET varnet_room_ui AND TARGET varnet_duilib_gtk AND TARGET varnet_testenv_nginx_rtmp AND TARGET varnet_testenv_media_sources)
  pkg_check_modules(MIC_BENCH_GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
  varnet_bench(bench_mic_room SOURCES ${CMAKE_CURRENT_LIST_DIR}/mic_room_bench.cpp
    LIBS varnet_room_ui varnet_duilib_gtk Rondel varnet_testenv_nginx_rtmp varnet_testenv_media_sources varnet_core
      PkgConfig::MIC_BENCH_GTK)
endif()
