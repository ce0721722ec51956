add_executable(bench_loading ${CMAKE_CURRENT_LIST_DIR}/bench_loading.cpp)
target_link_libraries(bench_loading PRIVATE folium_preparing folium_testsupport benchmark::benchmark ZLIB::ZLIB PkgConfig::MINIZIP)
