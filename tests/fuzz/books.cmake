folium_add_fuzz_target(epub_book SOURCE epub_book.cpp LIBS folium_books)
folium_add_fuzz_target(mobi_book SOURCE mobi_book.cpp LIBS folium_books)
folium_add_fuzz_target(fb2_book SOURCE fb2_book.cpp LIBS folium_books)
