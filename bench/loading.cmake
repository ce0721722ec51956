add_executable(bench_loading ${CMAKE_CURRENT_LIST_DIR}/bench_loading.cpp)
target_link_libraries(bench_loading PRIVATE folium_loading benchmark::benchmark ZLIB::ZLIB PkgConfig::MINIZIP)
target_include_directories(bench_loading PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
