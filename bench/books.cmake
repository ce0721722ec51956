add_executable(bench_books ${CMAKE_CURRENT_LIST_DIR}/bench_books.cpp)
target_link_libraries(bench_books PRIVATE folium_layout folium_testsupport benchmark::benchmark Qt6::Gui)
