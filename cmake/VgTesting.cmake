# Test helpers: GoogleTest from the distribution's sources, Windows tests run through Wine.

set(VG_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${VG_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
if(VG_SANITIZE AND NOT VG_WINDOWS)
    foreach(t gtest gtest_main)
        target_compile_options(${t} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
    endforeach()
endif()
include(GoogleTest)

if(VG_WINDOWS)
    set(VG_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Private wine prefix for tests")
    set(VG_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VG_WINE_RUN} ${VG_WINEPREFIX})
    find_program(VG_OBJDUMP NAMES x86_64-w64-mingw32-objdump REQUIRED)
endif()

# vg_add_gtest(NAME SOURCES ... [LIBS ...] [LABEL label] [SERIAL])
# One GoogleTest executable, its cases discovered at test time (never at build time: the
# first wine start creates the prefix and takes longer than discovery's default timeout).
function(vg_add_gtest name)
    cmake_parse_arguments(arg "SERIAL" "LABEL" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${arg_SOURCES})
    vg_target_defaults(${name})
    target_link_libraries(${name} PRIVATE ${arg_LIBS} gtest gtest_main)
    set(props TIMEOUT 240)
    if(arg_LABEL)
        list(APPEND props LABELS ${arg_LABEL})
    endif()
    if(arg_SERIAL)
        list(APPEND props RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES ${props})
endfunction()

# vg_check_pe(target [EXPORTS name...]): a test that the built PE file imports system DLLs
# only and, when given, exports exactly the named, undecorated symbols.
function(vg_check_pe target)
    if(NOT VG_WINDOWS)
        return()
    endif()
    cmake_parse_arguments(arg "" "" "EXPORTS" ${ARGN})
    set(extra "")
    if(arg_EXPORTS)
        string(REPLACE ";" "\\;" exports "${arg_EXPORTS}")
        set(extra -DEXPORTS=${exports})
    endif()
    add_test(NAME pe.${target}
             COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VG_OBJDUMP} -DFILE=$<TARGET_FILE:${target}>
                     ${extra} -P ${CMAKE_SOURCE_DIR}/cmake/check-pe.cmake)
endfunction()
