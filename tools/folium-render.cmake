add_executable(folium-render ${CMAKE_CURRENT_LIST_DIR}/folium-render.cpp)
target_link_libraries(folium-render PRIVATE folium_view Qt6::Widgets)
