# Media benchmarks: colour conversion beside libyuv (a baseline only, linked here and nowhere else),
# the H.264 encoder's frame rate and the AAC codecs' real-time factor.
varnet_bench(bench_media_colour SOURCES ${CMAKE_CURRENT_LIST_DIR}/media_colour_bench.cpp
  LIBS varnet::media_common Deps::libyuv)
target_compile_definitions(bench_media_colour PRIVATE MEDIA_BENCH_LIBYUV=1)
varnet_bench(bench_media_codecs SOURCES ${CMAKE_CURRENT_LIST_DIR}/media_codec_bench.cpp
  LIBS varnet::Pellac varnet::Dunmar varnet::Korvid varnet::media_common)
