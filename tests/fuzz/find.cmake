# Finding fuzz targets; corpora under corpus/<name>/.
folium_add_fuzz_target(find_text SOURCE ${CMAKE_CURRENT_LIST_DIR}/find_text.cpp LIBS folium_find)
target_include_directories(find_text_corpus PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../find)
if(FOLIUM_BUILD_FUZZERS)
  target_include_directories(find_text_fuzzer PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../find)
endif()
