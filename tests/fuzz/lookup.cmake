# Lookup fuzz targets; corpora under corpus/<name>/.
folium_add_fuzz_target(sense_formatter SOURCE ${CMAKE_CURRENT_LIST_DIR}/sense_formatter.cpp LIBS folium_lookup)
