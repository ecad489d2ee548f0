# The single-instance guard and the global hot keys, tested with real processes: a small
# helper program plays the first and second starts and the X clients.
add_library(instance_hotkey_units STATIC
    ${PROJECT_SOURCE_DIR}/src/shell/SingleInstanceGuard.cpp ${PROJECT_SOURCE_DIR}/src/shell/GlobalHotKey.cpp)
target_include_directories(instance_hotkey_units PUBLIC ${PROJECT_SOURCE_DIR}/src/shell)
target_link_libraries(instance_hotkey_units PUBLIC platform Qt6::Widgets)

add_executable(instance_hotkey_helper InstanceHotKeyHelper.cpp)
target_link_libraries(instance_hotkey_helper PRIVATE instance_hotkey_units PkgConfig::X11 PkgConfig::XCB)

tallyvox_add_test(NAME instance_hotkey_tests QT
    SOURCES SingleInstanceGuardTest.cpp GlobalHotKeyTest.cpp HelperProcess.h
    LIBS instance_hotkey_units)
target_compile_definitions(instance_hotkey_tests PRIVATE
    TALLYVOX_TEST_HELPER="$<TARGET_FILE:instance_hotkey_helper>")
add_dependencies(instance_hotkey_tests instance_hotkey_helper)
