# The importer's number conversions against the C library's, per number.
add_executable(number_text_bench number_text_bench.cpp)
target_link_libraries(number_text_bench PRIVATE quillin_numbers benchmark::benchmark benchmark::benchmark_main)
