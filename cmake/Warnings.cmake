# Warnings for our own code: pixelion_warnings(<target>). PIXELION_WERROR (on in the test
# command) makes them errors.
option(PIXELION_WERROR "Treat warnings in our own code as errors" OFF)

function(pixelion_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${PIXELION_WERROR}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
            $<$<BOOL:${PIXELION_WERROR}>:-Werror>)
    endif()
endfunction()
