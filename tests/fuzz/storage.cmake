# Fuzz targets for the files the reader keeps (bookmarks, contents, paragraph index, settings);
# corpora under corpus/<name>/.
folium_add_fuzz_target(stored_files SOURCE ${CMAKE_CURRENT_LIST_DIR}/stored_files.cpp LIBS folium_storage folium_preparing)
