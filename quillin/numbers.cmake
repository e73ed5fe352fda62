# The importer's exact number conversions, a library of their own so the OBJ and side-file
# readers, their tests and the benchmarks all link the same code.
add_library(quillin_numbers STATIC ${CMAKE_CURRENT_LIST_DIR}/number_text.cpp)
target_include_directories(quillin_numbers PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quillin_numbers PUBLIC msh)
target_compile_features(quillin_numbers PUBLIC cxx_std_20)
