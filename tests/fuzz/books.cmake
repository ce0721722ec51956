folium_add_fuzz_target(epub_book SOURCE epub_book.cpp LIBS folium_books)
