# Layout fuzz targets; corpora under corpus/<name>/.
folium_add_fuzz_target(markup_fitter SOURCE ${CMAKE_CURRENT_LIST_DIR}/markup_fitter.cpp LIBS folium_view folium_testsupport)
folium_add_fuzz_target(contents_scanner SOURCE ${CMAKE_CURRENT_LIST_DIR}/contents_scanner.cpp LIBS folium_layout)
