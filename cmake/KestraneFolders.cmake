# One static library per source folder, with its unit tests beside the code.
#
#   kestrane_folder_library(<target> [DEPS <libs>...] [TEST_DEPS <libs>...]
#                           [OWN_PROCESS_TESTS <names>...])
#
# The library is made of every *.cpp of the folder except *_test.cpp, *_fuzz.cpp and
# *_bench.cpp. When the folder holds *_test.cpp files they form one GoogleTest program,
# <target>_tests, linked against the library, so tests never recompile product sources.
function(kestrane_folder_library target)
    cmake_parse_arguments(ARG "" "" "DEPS;TEST_DEPS;OWN_PROCESS_TESTS" ${ARGN})
    file(GLOB all_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    set(sources)
    set(tests)
    foreach(f ${all_sources})
        get_filename_component(name ${f} NAME_WE)
        if(name IN_LIST ARG_OWN_PROCESS_TESTS)
            continue()
        elseif(f MATCHES "_test\\.cpp$")
            list(APPEND tests ${f})
        elseif(NOT f MATCHES "_(fuzz|bench)\\.cpp$")
            list(APPEND sources ${f})
        endif()
    endforeach()
    file(GLOB headers CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
    add_library(${target} STATIC ${sources} ${headers})
    target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    if(BUILD_TESTING AND tests)
        add_executable(${target}_tests ${tests})
        target_link_libraries(${target}_tests PRIVATE ${target} ${ARG_TEST_DEPS}
                              kestrane_test_main)
        gtest_discover_tests(${target}_tests DISCOVERY_MODE PRE_TEST
                             PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
    # Tests that need a process of their own from its start (OWN_PROCESS_TESTS, without
    # .cpp): one program each, <target>_<name>.
    foreach(name ${ARG_OWN_PROCESS_TESTS})
        if(BUILD_TESTING)
            add_executable(${target}_${name} "${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp")
            target_link_libraries(${target}_${name} PRIVATE ${target} ${ARG_TEST_DEPS}
                                  kestrane_test_main)
            gtest_discover_tests(${target}_${name} DISCOVERY_MODE PRE_TEST
                                 PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
        endif()
    endforeach()
endfunction()

# The libFuzzer targets of a folder (only with KESTRANE_FUZZ, built with clang): every
# <name>_fuzz.cpp becomes the target <name>_fuzz linked to the folder's library, which is built
# with the fuzzer's coverage instrumentation. The targets are listed for scripts/test.sh.
function(kestrane_fuzz_targets library)
    if(NOT KESTRANE_FUZZ)
        return()
    endif()
    target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link)
    file(GLOB fuzz_sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_fuzz.cpp")
    foreach(src ${fuzz_sources})
        get_filename_component(name ${src} NAME_WE)
        add_executable(${name} ${src})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE ${library})
        set_property(GLOBAL APPEND PROPERTY KESTRANE_FUZZ_TARGETS ${name})
    endforeach()
endfunction()
