# Room-service protocol: reply parsing, and requests through the worker against the local service beside
# bare libcurl requests (the anchor).
if(TARGET varnet_core AND TARGET varnet_testenv_room_service)
  pkg_check_modules(PROTOCOL_BENCH_CURL IMPORTED_TARGET libcurl)
  varnet_bench(bench_protocol SOURCES protocol_bench.cpp LIBS varnet_core varnet_testenv_room_service
    PkgConfig::PROTOCOL_BENCH_CURL)
endif()
