# One static library per source folder. Every .cpp below the folder belongs to it,
# so adding a file never needs a CMake edit.
function(nimbra_layer name)
    cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
        "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
    add_library(${name} STATIC ${sources})
    _nimbra_rerun_moc_on_new_files(${name} "${sources}")
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
endfunction()

# A re-glob that brings new headers does not by itself re-run moc in an existing build tree
# (Ninja's autogen step only watches the headers it saw before). When a layer's file list
# changes, its autogen stamp is removed at configure time so that moc runs again.
function(_nimbra_rerun_moc_on_new_files target sources)
    set(list_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_sources.txt")
    set(previous "")
    if(EXISTS "${list_file}")
        file(READ "${list_file}" previous)
    endif()
    if(NOT previous STREQUAL sources)
        file(REMOVE "${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/timestamp")
        file(WRITE "${list_file}" "${sources}")
    endif()
endfunction()

# One test executable per kind of test in a tests/ folder:
#   *_test.cpp         -> <prefix>_tests,  label `unit` (core) or `ui` (offscreen Qt)
#   *_itest.cpp        -> <prefix>_itests, label `integration` (X server, buses, sound server)
# Each gtest case becomes its own ctest entry, discovered when ctest runs.
function(nimbra_test_folder prefix)
    cmake_parse_arguments(ARG "" "LABEL;MAIN" "LINKS" ${ARGN})
    file(GLOB_RECURSE unit_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp")
    file(GLOB_RECURSE integration_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_itest.cpp")
    if(unit_sources)
        _nimbra_test_executable(${prefix}_tests "${ARG_LABEL}" "${ARG_MAIN}" "${unit_sources}" "${ARG_LINKS}")
    endif()
    if(integration_sources)
        _nimbra_test_executable(${prefix}_itests integration "${PROJECT_SOURCE_DIR}/tests/support/gui_main.cpp"
            "${integration_sources}" "${ARG_LINKS}")
    endif()
endfunction()

function(_nimbra_test_executable target label main sources links)
    add_executable(${target} ${sources} ${main})
    target_link_libraries(${target} PRIVATE ${links} nimbra_test_support GTest::gtest GTest::gmock)
    # ui tests paint offscreen; integration tests use the X server the harness started.
    set(platform "QT_QPA_PLATFORM=offscreen")
    if(label STREQUAL "integration")
        set(platform "NIMBRA_INTEGRATION=1")
    endif()
    gtest_discover_tests(${target}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${label} ENVIRONMENT ${platform} TIMEOUT 120)
endfunction()
