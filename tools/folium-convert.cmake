add_executable(folium-convert ${CMAKE_CURRENT_LIST_DIR}/folium-convert.cpp)
target_link_libraries(folium-convert PRIVATE folium_preparing)
