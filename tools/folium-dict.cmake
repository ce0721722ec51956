# folium-dict: look up, inspect, rewrite, build and import dictionary files.
add_executable(folium-dict ${CMAKE_CURRENT_LIST_DIR}/folium-dict.cpp)
target_link_libraries(folium-dict PRIVATE folium_dictionary folium_io ZLIB::ZLIB)
