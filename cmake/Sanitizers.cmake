# Instrumented builds. PIXELION_SANITIZE builds every target with AddressSanitizer and
# UndefinedBehaviorSanitizer; PIXELION_FUZZ (clang only) does the same and adds the coverage
# instrumentation libFuzzer needs, so the code under fuzzing reports every fault it reaches.
option(PIXELION_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(PIXELION_FUZZ "Build the libFuzzer targets of fuzz/ (needs clang)" OFF)
option(PIXELION_TSAN "Build with ThreadSanitizer" OFF)

if(PIXELION_TSAN AND (PIXELION_SANITIZE OR PIXELION_FUZZ))
    message(FATAL_ERROR "ThreadSanitizer does not combine with AddressSanitizer")
endif()
if(PIXELION_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(PIXELION_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PIXELION_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()

if(PIXELION_SANITIZE OR PIXELION_FUZZ)
    # No recovery: an undefined-behaviour report fails the test instead of scrolling past.
    set(PIXELION_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    add_compile_options(${PIXELION_SANITIZER_FLAGS})
    add_link_options(${PIXELION_SANITIZER_FLAGS})
endif()

if(PIXELION_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
    # Qt's own bounds checks in its inline containers (QString::operator[] and the like) stay
    # on in an optimised build, so an index past the end aborts where the fuzzer can see it.
    add_compile_definitions(QT_FORCE_ASSERTS)
endif()
