# Warnings are set per target so that third-party code (GoogleTest, Qt's generated
# files) is not held to our standard.
function(quillon_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                             -Wnon-virtual-dtor -Wold-style-cast
                                             -Wcast-align -Wnull-dereference)
    if(CMAKE_COMPILE_WARNING_AS_ERROR)
        set_property(TARGET ${target} PROPERTY COMPILE_WARNING_AS_ERROR ON)
    endif()
endfunction()
