# Dictionary engine fuzz targets; corpora under corpus/<name>/.
folium_add_fuzz_target(dict_open_search SOURCE ${CMAKE_CURRENT_LIST_DIR}/dict_open_search.cpp LIBS folium_dictionary)
folium_add_fuzz_target(dict_shcm_decode SOURCE ${CMAKE_CURRENT_LIST_DIR}/dict_shcm_decode.cpp LIBS folium_dictionary)
folium_add_fuzz_target(dict_utf8_escape SOURCE ${CMAKE_CURRENT_LIST_DIR}/dict_utf8_escape.cpp LIBS folium_dictionary)
folium_add_fuzz_target(dictd_import SOURCE ${CMAKE_CURRENT_LIST_DIR}/dictd_import.cpp LIBS folium_dictionary)
folium_add_fuzz_target(tsv_build SOURCE ${CMAKE_CURRENT_LIST_DIR}/tsv_build.cpp LIBS folium_dictionary)
