# Decoding: the positioned reader per mode, encoding detection and character references.
add_executable(bench_text ${CMAKE_CURRENT_LIST_DIR}/bench_text.cpp)
target_link_libraries(bench_text PRIVATE folium_text benchmark::benchmark)
