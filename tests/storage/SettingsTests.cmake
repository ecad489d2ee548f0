# The settings store, its INI reader and writer, and the idle rule it feeds.
tallyvox_add_test(NAME settings_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/IniFileTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/SettingsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../core/InactivityTest.cpp
    LIBS storage core)
