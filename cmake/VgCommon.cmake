# Compiler settings shared by every target of both builds.

set(VG_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wno-unused-parameter)
if(VG_WERROR)
    list(APPEND VG_WARNINGS -Werror)
endif()

# vg_target_defaults(target): warnings, and the Windows API settings fixed once for the build.
function(vg_target_defaults target)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:${VG_WARNINGS}>)
    if(VG_WINDOWS)
        target_compile_definitions(${target} PRIVATE STRICT WIN32_LEAN_AND_MEAN NOMINMAX
                                   _WIN32_WINNT=0x0601 WINVER=0x0601)
    endif()
    if(VG_SANITIZE AND NOT VG_WINDOWS)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined
                               -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()

# Keeps `dir` holding a current copy of the file of target `source`, for `consumer`. A
# POST_BUILD step of the consumer would run only when the consumer itself relinks, and leave
# a stale copy behind after a change to `source` alone.
function(vg_copy_target_file consumer source dir)
    add_custom_target(${consumer}_copies_${source}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${source}> ${dir}/
        DEPENDS ${source}
        VERBATIM)
    add_dependencies(${consumer} ${consumer}_copies_${source})
endfunction()
