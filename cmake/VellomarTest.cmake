# Tests run several times slower under the sanitizers: they get more time
# rather than being left out.
if(VMR_SANITIZE)
    set(VMR_TIMEOUT_SCALE 4)
else()
    set(VMR_TIMEOUT_SCALE 1)
endif()

# vmr_test_timeout(<test> <seconds>): the time a test may take in a normal build.
function(vmr_test_timeout name seconds)
    math(EXPR scaled "${seconds} * ${VMR_TIMEOUT_SCALE}")
    set_tests_properties(${name} PROPERTIES TIMEOUT ${scaled})
endfunction()

# vmr_full_leak_stacks(<test>): for a test whose errors pass through Qt's
# event delivery on purpose and leave Qt's own objects behind. Full stacks
# (Qt has no frame pointers) let the leak suppressions name those Qt frames;
# they are too slow for every test.
function(vmr_full_leak_stacks name)
    if(VMR_SANITIZE)
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
                     "ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0")
    endif()
endfunction()

# vmr_add_test(<source> LIBS <libs...>)
# One Qt Test executable per test class, registered with CTest. Every test runs
# headless, with its own empty configuration folder, so that no test can touch
# the real user's settings.
function(vmr_add_test source)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE
        VMR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
    add_test(NAME ${name} COMMAND ${name})
    set(home ${CMAKE_BINARY_DIR}/test-home/${name})
    file(MAKE_DIRECTORY ${home})
    vmr_test_timeout(${name} 300)
    # Symbols are bound at load: a lazy binding later saves the vector
    # registers on the stack, and a password still held in one would then be
    # found there by the tests that search memory for secrets.
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${home};HOME=${home};LD_BIND_NOW=1")
endfunction()

# Every tst_*.cpp in the calling folder becomes one test, linked with LIBS.
function(vmr_add_tests_in_folder)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
    foreach(source ${sources})
        vmr_add_test(${source} LIBS ${ARG_LIBS})
    endforeach()
endfunction()
