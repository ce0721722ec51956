# Text decoding fuzz targets; corpora under corpus/<name>/.
folium_add_fuzz_target(positioned_reader SOURCE ${CMAKE_CURRENT_LIST_DIR}/positioned_reader.cpp LIBS folium_text)
