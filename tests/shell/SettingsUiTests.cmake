# The inactivity check and the settings dialog, on the offscreen platform.
tallyvox_add_test(NAME settings_ui_tests QT
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/InactivityCheckTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/SettingsFormTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../platform/LastInputTest.cpp
    LIBS shell Qt6::Test)
