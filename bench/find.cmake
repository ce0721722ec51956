# Finding: forward and backward searches in plain text, tag-dense HTML and UTF-16.
add_executable(bench_find ${CMAKE_CURRENT_LIST_DIR}/bench_find.cpp)
target_link_libraries(bench_find PRIVATE folium_find benchmark::benchmark)
