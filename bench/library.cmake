# The library store: find and remember in an empty library and in one of 10,000 books.
add_executable(bench_library ${CMAKE_CURRENT_LIST_DIR}/bench_library.cpp)
target_link_libraries(bench_library PRIVATE folium_storage benchmark::benchmark)
