# Dictionary engine: lookup, decoding and opening. FOLIUM_BENCH_DICT may name a dictionary
# file (for example one made by folium-dict import-dictd); otherwise one is generated.
find_package(ZLIB REQUIRED)
add_executable(bench_dictionary ${CMAKE_CURRENT_LIST_DIR}/bench_dictionary.cpp)
target_link_libraries(bench_dictionary PRIVATE folium_dictionary benchmark::benchmark ZLIB::ZLIB)
