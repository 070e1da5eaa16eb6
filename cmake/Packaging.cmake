# Installing and packaging: `cmake --install` into any prefix gives a working program, and
# `cpack -G DEB` turns the same install into a Debian package.
include(GNUInstallDirs)

# The program reads its default Slide.INI from the folder of the program file, so the two are
# always installed side by side.
if(WIN32)
    set(PIXELION_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
else()
    # A private folder (not a multiarch library folder), with bin/pixelion linking into it; the
    # program resolves the link to find its folder.
    set(PIXELION_PROGRAM_DIR lib/pixelion)
endif()
install(TARGETS pixelion RUNTIME DESTINATION ${PIXELION_PROGRAM_DIR})
# Qt is found on the system's own library path; an installed program carries no search path.
set_target_properties(pixelion PROPERTIES INSTALL_RPATH "")
install(FILES resources/Slide.INI DESTINATION ${PIXELION_PROGRAM_DIR})

if(NOT WIN32)
    # Relative, so the link stays right under DESTDIR, in CPack's staging tree and after moving
    # the prefix.
    file(RELATIVE_PATH PIXELION_LINK_TARGET /prefix/${CMAKE_INSTALL_BINDIR}
         /prefix/${PIXELION_PROGRAM_DIR}/pixelion)
    file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/pixelion_link.cmake @ONLY CONTENT [[
set(link "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/@CMAKE_INSTALL_BINDIR@/pixelion")
message(STATUS "Installing: ${link} -> @PIXELION_LINK_TARGET@")
get_filename_component(dir "${link}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(REMOVE "${link}")
file(CREATE_LINK "@PIXELION_LINK_TARGET@" "${link}" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${link}")
]])
    install(SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/pixelion_link.cmake)

    # The desktop entry puts "Open with ピクセリオン" on JPEG files in file managers.
    install(FILES resources/pixelion.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 16 32 48 64 128 256)
        install(FILES resources/icons/pixelion-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME pixelion.png)
    endforeach()
    install(FILES resources/icons/pixelion.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Debian package. Debian's own triggers refresh the desktop and icon caches, so the package
# needs no scripts of its own.
set(CPACK_PACKAGE_NAME pixelion)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Pixelion Developer <dev@pixelion.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "JPEG slideshow viewer with a Japanese interface")
set(CPACK_PACKAGE_DESCRIPTION
    "ピクセリオン shows the JPEG pictures of a folder one after another, fitted to the window, on a timer or by hand. Open a picture from the file manager (Open with ピクセリオン) or run `pixelion picture.jpg`.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt at the version the build requires and a font with Japanese glyphs, which no library lookup
# can know; the C and C++ runtimes are added when the package is made (below).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), fonts-noto-cjk | fonts-ipafont-gothic")
# CPack's own dpkg-shlibdeps step would name Qt a second time, at the older versions its symbol
# files give; so the lookup runs here, on the built program, and leaves Qt to the line above.
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/CPackProjectConfig.cmake.in @ONLY CONTENT [[
if(CPACK_GENERATOR STREQUAL "DEB")
    set(dir "@CMAKE_CURRENT_BINARY_DIR@/_shlibdeps")
    file(REMOVE_RECURSE "${dir}")
    file(MAKE_DIRECTORY "${dir}/debian")
    file(WRITE "${dir}/debian/control" "Source: pixelion\n\nPackage: pixelion\nArchitecture: any\n")
    execute_process(COMMAND dpkg-shlibdeps -O "$<TARGET_FILE:pixelion>" WORKING_DIRECTORY "${dir}"
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    file(REMOVE_RECURSE "${dir}")
    if(NOT rc EQUAL 0 OR NOT out MATCHES "^shlibs:Depends=")
        message(FATAL_ERROR "dpkg-shlibdeps (package dpkg-dev) failed: ${err}")
    endif()
    string(REGEX REPLACE "^shlibs:Depends=" "" out "${out}")
    string(REPLACE ", " ";" runtime "${out}")
    list(FILTER runtime EXCLUDE REGEX "^libqt6")
    list(JOIN runtime ", " runtime)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${runtime}")
endif()
]])
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/CPackProjectConfig.cmake
     INPUT ${CMAKE_CURRENT_BINARY_DIR}/CPackProjectConfig.cmake.in)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/CPackProjectConfig.cmake)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR DEB)
endif()
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")
include(CPack)

# Quick checks of what gets installed.
if(NOT WIN32)
    add_test(NAME desktop_entry
             COMMAND desktop-file-validate ${PROJECT_SOURCE_DIR}/resources/pixelion.desktop)
    # desktop-file-validate fails only on errors; a warning is a fault here too.
    set_tests_properties(desktop_entry PROPERTIES FAIL_REGULAR_EXPRESSION "error:|warning:")
endif()

# --help and --version must answer with no display at all: had the program opened a window,
# Qt would have stopped for want of one.
foreach(option help version)
    add_test(NAME cli_${option}
             COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                     --unset=QT_QPA_PLATFORM $<TARGET_FILE:pixelion> --${option})
endforeach()
if(PROJECT_VERSION_MINOR LESS 10)
    set(version_text "Version ${PROJECT_VERSION_MAJOR}\\.0${PROJECT_VERSION_MINOR}")
else()
    set(version_text "Version ${PROJECT_VERSION_MAJOR}\\.${PROJECT_VERSION_MINOR}")
endif()
set_tests_properties(cli_version PROPERTIES
    PASS_REGULAR_EXPRESSION "^ピクセリオン \\(pixelion\\) ${version_text}\n$")
set_tests_properties(cli_help PROPERTIES
    PASS_REGULAR_EXPRESSION "${version_text}\n.*Usage: pixelion .*--version")

# The package built, installed into this machine, run from PATH and removed again. It changes
# the system, so it runs alone, only in the normal build, and skips itself where it cannot run.
if(NOT WIN32 AND NOT PIXELION_SANITIZE AND NOT PIXELION_FUZZ)
    add_test(NAME package COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-package.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(package PROPERTIES
        LABELS package
        SKIP_RETURN_CODE 77
        RUN_SERIAL TRUE
        TIMEOUT 900)
endif()
