# Reliability evidence through the real program: every damaged copy of a sample update is
# refused at start-up and changes nothing; hostile record names write nothing anywhere on C:.
tavrel_windows_test(reliability_e2e_test reliability_e2e_test.cpp)
target_link_libraries(reliability_e2e_test PRIVATE package_format)
