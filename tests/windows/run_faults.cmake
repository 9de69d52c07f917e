# Faults in the middle of the update run, through the real program. The read-only case runs in
# a second prefix as an ordinary user (scripts/setup creates it), since root ignores read-only
# files; everything else runs in the shared prefix.
tavrel_windows_test(run_faults_e2e_test run_faults_e2e_test.cpp)
set_property(TEST run_faults_e2e_test APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-*AsOrdinaryUser")

set(TAVREL_TEST_USER tavrel-tester)
string(MD5 build_tag "${CMAKE_BINARY_DIR}")
set(WINE_USER_STATE /tmp/tavrel-wine-user-${build_tag})
set(WINE_USER_ENV ${CMAKE_SOURCE_DIR}/tests/wine_user_env.sh)
add_test(NAME wine_user_setup COMMAND ${WINE_USER_ENV} setup ${WINE_USER_STATE} ${TAVREL_TEST_USER})
set_tests_properties(wine_user_setup PROPERTIES FIXTURES_SETUP wine_user TIMEOUT 120)
add_test(NAME wine_user_cleanup COMMAND ${WINE_USER_ENV} cleanup ${WINE_USER_STATE} ${TAVREL_TEST_USER})
set_tests_properties(wine_user_cleanup PROPERTIES FIXTURES_CLEANUP wine_user)
add_test(NAME run_faults_as_user_e2e_test
    COMMAND ${WINE_USER_ENV} run ${WINE_USER_STATE} ${TAVREL_TEST_USER}
            $<TARGET_FILE:run_faults_e2e_test>)
set_tests_properties(run_faults_as_user_e2e_test PROPERTIES
    FIXTURES_REQUIRED wine_user TIMEOUT 600
    ENVIRONMENT "TAVREL_UPDATER_EXE=${TAVREL_UPDATER_EXE};GTEST_FILTER=*AsOrdinaryUser")
