# Reliability evidence through the real program: every damaged copy of a sample update is
# refused at start-up and changes nothing; hostile record names write nothing anywhere on C:.
tavrel_windows_test(reliability_e2e_test reliability_e2e_test.cpp)
target_link_libraries(reliability_e2e_test PRIVATE package_format)
# The sample update of the damaged-copy matrix is built by mkupdate.exe, as a publisher builds one.
add_dependencies(reliability_e2e_test mkupdate)
set_property(TEST reliability_e2e_test APPEND PROPERTY ENVIRONMENT
    "TAVREL_MKUPDATE_EXE=${CMAKE_BINARY_DIR}/mkupdate.exe")
