# Chat lines into a trimming chat pane through the room window, against libxml2 doing the same.
if(TARGET varnet_room_ui)
  pkg_check_modules(VARNET_BENCH_LIBXML2 IMPORTED_TARGET libxml-2.0)
  if(VARNET_BENCH_LIBXML2_FOUND)
    varnet_bench(bench_chat_view SOURCES ${CMAKE_CURRENT_LIST_DIR}/chat_view_bench.cpp
      LIBS varnet_room_ui varnet_core PkgConfig::VARNET_BENCH_LIBXML2)
  endif()
endif()
