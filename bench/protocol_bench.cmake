# Room-service protocol: reply parsing and requests through the worker against the local service.
if(TARGET varnet_core AND TARGET varnet_testenv_room_service)
  varnet_bench(bench_protocol SOURCES protocol_bench.cpp LIBS varnet_core varnet_testenv_room_service)
endif()
