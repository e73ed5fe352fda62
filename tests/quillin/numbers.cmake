# The importer's exact number conversions against the C library's.
quill_add_test(number_text_test SOURCES number_text_test.cpp LIBS quillin_numbers)
