# The updater's spine seen from inside: single functions linked in-process.
tavrel_windows_test(spine_in_process_test
    registry_key_test.cpp banner_test.cpp package_check_test.cpp IN_PROCESS)
target_link_libraries(spine_in_process_test PRIVATE advapi32)

# Damaged packages through the real program.
tavrel_windows_test(damaged_package_e2e_test damaged_package_e2e_test.cpp)
