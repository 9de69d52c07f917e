# The install log and the folder tree operations, in-process on real folders in the prefix.
tavrel_windows_test(install_log_test install_log_test.cpp IN_PROCESS)
tavrel_windows_test(folder_tree_test folder_tree_test.cpp IN_PROCESS)

# Folder links made on the Unix side (Wine shows them as reparse points), fresh for every run.
set(TAVREL_LINK_FIXTURE ${CMAKE_BINARY_DIR}/folder-links)
add_test(NAME folder_links_setup
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/make_folder_links.sh ${TAVREL_LINK_FIXTURE})
set_tests_properties(folder_links_setup PROPERTIES FIXTURES_SETUP folder_links)
set_property(TEST folder_tree_test APPEND PROPERTY FIXTURES_REQUIRED folder_links)
set_property(TEST folder_tree_test APPEND PROPERTY ENVIRONMENT
             "TAVREL_LINK_FIXTURE=${TAVREL_LINK_FIXTURE}")
