# The update run through the real program: save-data guard, backup folder, records, roll-back.
tavrel_windows_test(update_run_e2e_test update_run_e2e_test.cpp)
