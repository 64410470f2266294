# Room-service protocol: reply parsing, and requests through the worker against the local service beside
# bare libcurl requests (the anchor).
varnet_bench(bench_protocol SOURCES protocol_bench.cpp LIBS varnet::core varnet::testenv_room_service PkgConfig::CURL)
