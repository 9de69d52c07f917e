# The updater: plain Win32, no C runtime, no exceptions, Shift-JIS literals, padded to exactly
# TAVREL_PACKAGE_OFFSET bytes.
enable_language(RC)

set(TAVREL_UPDATER_FLAGS
    -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-stack-protector -fno-threadsafe-statics -ffunction-sections -fdata-sections
    -finput-charset=UTF-8 -fexec-charset=CP932 -Wall -Wextra)

# Everything but the entry point, so that in-process tests can link the same code.
add_library(updater_core STATIC
    app/globals.cpp
    app/text_buffer.cpp
    install/install_log.cpp
    install/registry_key.cpp
    package/package_check.cpp
    package/package_reader.cpp
    ui/banner.cpp
    ui/update_dialog.cpp
    update/apply_records.cpp
    update/folder_tree.cpp
    update/path_walk.cpp
    update/prepare_backup.cpp
    update/update_run.cpp)
target_include_directories(updater_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(updater_core PUBLIC TAVREL_PACKAGE_OFFSET=${TAVREL_PACKAGE_OFFSET})
target_compile_options(updater_core PRIVATE ${TAVREL_UPDATER_FLAGS})
target_link_libraries(updater_core PUBLIC kernel32 user32 gdi32 advapi32)

add_executable(updater_linked WIN32 app/main.cpp app/entry.cpp res/updater.rc)
set_target_properties(updater_linked PROPERTIES OUTPUT_NAME "Tavrel_Update.linked")
target_compile_options(updater_linked PRIVATE ${TAVREL_UPDATER_FLAGS})
# The memory routines must not be turned back into calls to themselves.
set_source_files_properties(app/entry.cpp PROPERTIES COMPILE_OPTIONS
    "-fno-builtin;-fno-tree-loop-distribute-patterns")
target_link_options(updater_linked PRIVATE -nostdlib -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
target_link_libraries(updater_linked PRIVATE updater_core kernel32 user32 gdi32 advapi32 gcc)
set_property(SOURCE res/updater.rc APPEND PROPERTY OBJECT_DEPENDS
    ${CMAKE_SOURCE_DIR}/res/m_icon.ico ${CMAKE_SOURCE_DIR}/res/updater.manifest)

set(TAVREL_UPDATER_EXE ${CMAKE_BINARY_DIR}/Tavrel_Update.exe)
add_custom_command(
    OUTPUT ${TAVREL_UPDATER_EXE}
    COMMAND ${CMAKE_COMMAND} -DINPUT=$<TARGET_FILE:updater_linked> -DOUTPUT=${TAVREL_UPDATER_EXE}
            -DSIZE=${TAVREL_PACKAGE_OFFSET} -P ${CMAKE_SOURCE_DIR}/cmake/pad_image.cmake
    DEPENDS updater_linked ${CMAKE_SOURCE_DIR}/cmake/pad_image.cmake
    COMMENT "Padding the updater to ${TAVREL_PACKAGE_OFFSET} bytes")
add_custom_target(updater ALL DEPENDS ${TAVREL_UPDATER_EXE})
