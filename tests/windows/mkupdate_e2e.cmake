tavrel_windows_test(mkupdate_e2e_test mkupdate_e2e_test.cpp)
add_dependencies(mkupdate_e2e_test mkupdate)
set_property(TEST mkupdate_e2e_test APPEND PROPERTY ENVIRONMENT
    "TAVREL_MKUPDATE_EXE=${CMAKE_BINARY_DIR}/mkupdate.exe"
    "TAVREL_SAMPLE_DIR=${CMAKE_SOURCE_DIR}/samples/tavrel")
