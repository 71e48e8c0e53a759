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
        # GCC 12 at -O3 warns of overlapping copies inside std::string that cannot happen (its
        # bug 105329); the release build would otherwise fail on plain string concatenations.
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
            target_compile_options(${target} PRIVATE -Wno-restrict)
        endif()
    endif()
endfunction()

if(VEL_SANITIZE)
    set(_vel_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_compile_options(${_vel_sanitizers})
    add_link_options(${_vel_sanitizers})
endif()
