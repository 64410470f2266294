# Media benchmarks: colour conversion beside libyuv (a baseline only, linked here and nowhere else),
# the H.264 encoder's frame rate and the AAC codecs' real-time factor.
find_path(MEDIA_BENCH_YUV_INCLUDE libyuv.h)
find_library(MEDIA_BENCH_YUV_LIB yuv)
varnet_bench(bench_media_colour SOURCES ${CMAKE_CURRENT_LIST_DIR}/media_colour_bench.cpp LIBS varnet_media_common)
if(TARGET bench_media_colour AND MEDIA_BENCH_YUV_INCLUDE AND MEDIA_BENCH_YUV_LIB)
  target_include_directories(bench_media_colour PRIVATE ${MEDIA_BENCH_YUV_INCLUDE})
  target_link_libraries(bench_media_colour PRIVATE ${MEDIA_BENCH_YUV_LIB})
  target_compile_definitions(bench_media_colour PRIVATE MEDIA_BENCH_LIBYUV=1)
endif()
varnet_bench(bench_media_codecs SOURCES ${CMAKE_CURRENT_LIST_DIR}/media_codec_bench.cpp
  LIBS Pellac Dunmar Korvid varnet_media_common)
