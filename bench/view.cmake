add_executable(bench_view ${CMAKE_CURRENT_SOURCE_DIR}/bench_view.cpp)
target_link_libraries(bench_view PRIVATE folium_view Qt6::Widgets benchmark::benchmark)
