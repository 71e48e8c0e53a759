# Warnings for our own targets, and the sanitizers for everything in the build.

function(vel_target_defaults target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
        if(VEL_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                                 -Wformat=2)
        if(VEL_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()

if(VEL_SANITIZE)
    set(_vel_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_compile_options(${_vel_sanitizers})
    add_link_options(${_vel_sanitizers})
endif()
