# The video views' scaler (a B, G, R frame to the view's 32-bit picture) beside libyuv converting and scaling
# the same frame.
varnet_bench(bench_video_scale SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_scale_bench.cpp
  LIBS varnet::mic Deps::libyuv)
