# Installing and packaging: `cmake --install` into any prefix gives a working program, and
# `cpack -G DEB` turns the same install into a Debian package.
include(GNUInstallDirs)

# Folders made by the install, and by CPack's staging, are 0755 whatever the umask of whoever
# builds: a group-writable folder in a package is a fault.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The id software centres know the program by; the desktop entry and the metadata are named
# after it, and the two must agree.
set(PIXELION_APP_ID io.github.pixelion.Pixelion)
# Who answers for the package: its Maintainer, the copyright file's contact, the changelog's
# signature.
set(CPACK_PACKAGE_CONTACT "Pixelion Developer <dev@pixelion.invalid>")

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
if(WIN32)
    # Elsewhere the copyright file below carries the same text.
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

if(NOT WIN32)
    set(PIXELION_PACKAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/package)
    file(MAKE_DIRECTORY ${PIXELION_PACKAGE_DIR}/man/ja)

    # A relative link, so it stays right under DESTDIR, in CPack's staging tree and after moving
    # the prefix. It is made here and installed as a link, so its folder gets the install's
    # permissions like every other.
    file(RELATIVE_PATH PIXELION_LINK_TARGET /prefix/${CMAKE_INSTALL_BINDIR}
         /prefix/${PIXELION_PROGRAM_DIR}/pixelion)
    file(CREATE_LINK ${PIXELION_LINK_TARGET} ${PIXELION_PACKAGE_DIR}/pixelion SYMBOLIC)
    install(FILES ${PIXELION_PACKAGE_DIR}/pixelion DESTINATION ${CMAKE_INSTALL_BINDIR})

    # The desktop entry puts "Open with ピクセリオン" on JPEG files in file managers.
    install(FILES resources/${PIXELION_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES resources/${PIXELION_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size 16 32 48 64 128 256)
        install(FILES resources/icons/pixelion-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME pixelion.png)
    endforeach()
    install(FILES resources/icons/pixelion.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

    # The copyright file in Debian's machine-readable form. Our own terms come from LICENSE,
    # so there is one text to keep; the libraries the program links are named with theirs.
    file(READ LICENSE licence)
    string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" copyright_line "${licence}")
    string(FIND "${licence}" "Permission is hereby granted" expat_start)
    if(NOT copyright_line OR expat_start EQUAL -1)
        message(FATAL_ERROR "LICENSE is not the MIT licence with a copyright line")
    endif()
    set(PIXELION_COPYRIGHT "${CMAKE_MATCH_1}")
    string(SUBSTRING "${licence}" ${expat_start} -1 expat)
    string(STRIP "${expat}" expat)
    string(REPLACE "\n\n" "\n.\n" expat "${expat}")
    string(REPLACE "\n" "\n " PIXELION_EXPAT " ${expat}")
    file(CONFIGURE OUTPUT ${PIXELION_PACKAGE_DIR}/copyright @ONLY CONTENT [[
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: pixelion
Upstream-Contact: @CPACK_PACKAGE_CONTACT@
Source: https://github.com/pixelion/pixelion
Comment: The program is linked at run time with libraries that come in packages
 of their own, under their own terms:
 .
 Qt 6 (libqt6core6, libqt6gui6, libqt6widgets6),
 Copyright The Qt Company Ltd. and other contributors, used under LGPL-3; see
 /usr/share/doc/libqt6core6/copyright.
 .
 libjpeg-turbo (libjpeg62-turbo, through Qt's JPEG reader), under three
 licences as libjpeg-turbo states them: IJG (Copyright 1991-2020 Thomas G.
 Lane, Guido Vollbeding),
 BSD-3-clause (Copyright 2009-2023 D. R. Commander, 2015 Viktor Szathmáry) and
 Zlib (its SIMD parts, Copyright 1999-2006 MIYASAKA Masaru and others); see
 /usr/share/doc/libjpeg62-turbo/copyright. This software is based in part on
 the work of the Independent JPEG Group.

Files: *
Copyright: @PIXELION_COPYRIGHT@
License: Expat

License: Expat
@PIXELION_EXPAT@

License: LGPL-3
 Qt is free software: you can redistribute it and/or modify it under the
 terms of the GNU Lesser General Public License version 3 as published by the
 Free Software Foundation.
 .
 On Debian systems, the complete text of the GNU Lesser General Public
 License version 3 can be found in "/usr/share/common-licenses/LGPL-3".

License: IJG
 The authors make NO WARRANTY or representation, either express or implied,
 with respect to this software, its quality, accuracy, merchantability, or
 fitness for a particular purpose.  This software is provided "AS IS", and
 you, its user, assume the entire risk as to its quality and accuracy.
 .
 This software is copyright (C) 1991-2020, Thomas G. Lane, Guido Vollbeding.
 All Rights Reserved except as specified below.
 .
 Permission is hereby granted to use, copy, modify, and distribute this
 software (or portions thereof) for any purpose, without fee, subject to these
 conditions:
 (1) If any part of the source code for this software is distributed, then
 this README file must be included, with this copyright and no-warranty
 notice unaltered; and any additions, deletions, or changes to the original
 files must be clearly indicated in accompanying documentation.
 (2) If only executable code is distributed, then the accompanying
 documentation must state that "this software is based in part on the work
 of the Independent JPEG Group".
 (3) Permission for use of this software is granted only if the user accepts
 full responsibility for any undesirable consequences; the authors accept
 NO LIABILITY for damages of any kind.
 .
 These conditions apply to any software derived from or based on the IJG
 code, not just to the unmodified library.  If you use our work, you ought to
 acknowledge us.
 .
 Permission is NOT granted for the use of any IJG author's name or company
 name in advertising or publicity relating to this software or products
 derived from it.  This software may be referred to only as "the Independent
 JPEG Group's software".
 .
 We specifically permit and encourage the use of this software as the basis
 of commercial products, provided that all warranty or liability claims are
 assumed by the product vendor.

License: BSD-3-clause
 Redistribution and use in source and binary forms, with or without
 modification, are permitted provided that the following conditions are met:
 .
 - Redistributions of source code must retain the above copyright notice,
   this list of conditions and the following disclaimer.
 - Redistributions in binary form must reproduce the above copyright notice,
   this list of conditions and the following disclaimer in the documentation
   and/or other materials provided with the distribution.
 - Neither the name of the libjpeg-turbo Project nor the names of its
   contributors may be used to endorse or promote products derived from this
   software without specific prior written permission.
 .
 THIS SOFTWARE IS PROVIDED BY THE COPYRIGHT HOLDERS AND CONTRIBUTORS "AS IS",
 AND ANY EXPRESS OR IMPLIED WARRANTIES, INCLUDING, BUT NOT LIMITED TO, THE
 IMPLIED WARRANTIES OF MERCHANTABILITY AND FITNESS FOR A PARTICULAR PURPOSE
 ARE DISCLAIMED.  IN NO EVENT SHALL THE COPYRIGHT HOLDERS OR CONTRIBUTORS BE
 LIABLE FOR ANY DIRECT, INDIRECT, INCIDENTAL, SPECIAL, EXEMPLARY, OR
 CONSEQUENTIAL DAMAGES (INCLUDING, BUT NOT LIMITED TO, PROCUREMENT OF
 SUBSTITUTE GOODS OR SERVICES; LOSS OF USE, DATA, OR PROFITS; OR BUSINESS
 INTERRUPTION) HOWEVER CAUSED AND ON ANY THEORY OF LIABILITY, WHETHER IN
 CONTRACT, STRICT LIABILITY, OR TORT (INCLUDING NEGLIGENCE OR OTHERWISE)
 ARISING IN ANY WAY OUT OF THE USE OF THIS SOFTWARE, EVEN IF ADVISED OF THE
 POSSIBILITY OF SUCH DAMAGE.

License: Zlib
 This software is provided 'as-is', without any express or implied
 warranty.  In no event will the authors be held liable for any damages
 arising from the use of this software.
 .
 Permission is granted to anyone to use this software for any purpose,
 including commercial applications, and to alter it and redistribute it
 freely, subject to the following restrictions:
 .
 1. The origin of this software must not be misrepresented; you must not
    claim that you wrote the original software. If you use this software
    in a product, an acknowledgment in the product documentation would be
    appreciated but is not required.
 2. Altered source versions must be plainly marked as such, and must not be
    misrepresented as being the original software.
 3. This notice may not be removed or altered from any source distribution.
]])
    # Debian keeps the copyright file beside the changelog; LICENSE alone would do elsewhere.
    install(FILES ${PIXELION_PACKAGE_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

    # The changelog of a native package, newest first. A new release adds its entry on top, with
    # the version of project() above and a later date.
    file(CONFIGURE OUTPUT ${PIXELION_PACKAGE_DIR}/changelog @ONLY CONTENT [[
pixelion (1.2) unstable; urgency=medium

  * Display engine rework: pictures are decoded at the size they are
    shown, the next ones are read ahead on worker threads, and resizing
    the window resamples the picture on screen instead of decoding it.
  * The desktop entry is named after the AppStream id,
    io.github.pixelion.Pixelion.desktop.
  * Package metadata: an MIT licence and a machine-readable copyright file,
    this changelog, manual pages in English and Japanese, AppStream metadata,
    and the dependency on Qt's Japanese translations.

 -- @CPACK_PACKAGE_CONTACT@  Thu, 10 Dec 2026 12:00:00 +0000

pixelion (1.1) unstable; urgency=medium

  * Installs with cmake --install and as a Debian package: the program in
    /usr/lib/pixelion beside its default Slide.INI, /usr/bin/pixelion
    linking to it, a desktop entry for JPEG pictures and icons.
  * --help and --version answer on the terminal, without a display.
  * SIGTERM, SIGINT, SIGHUP and the end of the desktop session close the
    window through its normal unload, so the settings are kept.

 -- @CPACK_PACKAGE_CONTACT@  Thu, 10 Dec 2026 03:16:42 +0000

pixelion (1.0) unstable; urgency=medium

  * First release: the slideshow window with its menus and buttons, the
    options dialog, settings and window positions in Windows profile files
    in code page 932, and the dated debug log.

 -- @CPACK_PACKAGE_CONTACT@  Thu, 10 Dec 2026 02:32:58 +0000
]])

    # Debian wants the changelog and the manual pages compressed, reproducibly (-n: no name or
    # time stamp in the header) and as small as gzip makes them.
    set(PIXELION_GZIPPED)
    function(pixelion_gzip source copy)
        add_custom_command(OUTPUT ${copy}.gz
            COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
            COMMAND gzip -n -9 -f ${copy}
            DEPENDS ${source}
            COMMENT "Compressing ${copy}.gz"
            VERBATIM)
        set(PIXELION_GZIPPED ${PIXELION_GZIPPED} ${copy}.gz PARENT_SCOPE)
    endfunction()
    pixelion_gzip(${PIXELION_PACKAGE_DIR}/changelog ${PIXELION_PACKAGE_DIR}/doc/changelog)
    pixelion_gzip(${PROJECT_SOURCE_DIR}/man/pixelion.1 ${PIXELION_PACKAGE_DIR}/man/pixelion.1)
    pixelion_gzip(${PROJECT_SOURCE_DIR}/man/ja/pixelion.1
                  ${PIXELION_PACKAGE_DIR}/man/ja/pixelion.1)
    add_custom_target(pixelion_docs ALL DEPENDS ${PIXELION_GZIPPED})
    # Building only the program still leaves everything the install needs.
    add_dependencies(pixelion pixelion_docs)
    install(FILES ${PIXELION_PACKAGE_DIR}/doc/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
    install(FILES ${PIXELION_PACKAGE_DIR}/man/pixelion.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${PIXELION_PACKAGE_DIR}/man/ja/pixelion.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
endif()

# Debian package. Debian's own triggers refresh the desktop, icon, manual and metadata caches,
# so the package needs no scripts of its own.
set(CPACK_PACKAGE_NAME pixelion)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "JPEG slideshow viewer with a Japanese interface")
# Already wrapped: CPack takes the lines as they are, and Debian wants them under 80 columns.
# No double quotes or semicolons: CPack copies the text into its configuration unescaped.
set(CPACK_PACKAGE_DESCRIPTION [[
ピクセリオン shows the JPEG pictures of a folder one after another, fitted
to the window, on a timer of 0.1 to 100 seconds or by hand.

Open a picture from the file manager (Open with ピクセリオン), from the
program's File menu, or by running pixelion picture.jpg, and the show runs
through every picture of that folder with the same extension. Its menus,
buttons and messages are in Japanese.]])
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/pixelion/pixelion)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# What no library lookup can know: Qt at the version the build requires, Qt's own Japanese
# texts for its dialogs, and a font with Japanese glyphs. The C and C++ runtimes are added
# when the package is made (below); the JPEG decoder comes with Qt's image readers.
set(PIXELION_QT_PACKAGES libqt6widgets6 libqt6gui6 libqt6core6)
list(TRANSFORM PIXELION_QT_PACKAGES APPEND " (>= 6.4)" OUTPUT_VARIABLE qt_depends)
list(APPEND qt_depends qt6-translations-l10n "fonts-noto-cjk | fonts-ipafont-gothic")
list(JOIN qt_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# CPack's own dpkg-shlibdeps step would name Qt a second time, at the older versions its symbol
# files give; so the lookup runs here, on the built program, and leaves to the line above the
# Qt packages it names.
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
    foreach(named IN ITEMS @PIXELION_QT_PACKAGES@)
        list(FILTER runtime EXCLUDE REGEX "^${named}( |$)")
    endforeach()
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
             COMMAND desktop-file-validate ${PROJECT_SOURCE_DIR}/resources/${PIXELION_APP_ID}.desktop)
    # desktop-file-validate fails only on errors; a warning is a fault here too.
    set_tests_properties(desktop_entry PROPERTIES FAIL_REGULAR_EXPRESSION "error:|warning:")
    # Errors and warnings fail the validation; pedantic notes do not.
    add_test(NAME metainfo
             COMMAND appstreamcli validate --no-net
                     ${PROJECT_SOURCE_DIR}/resources/${PIXELION_APP_ID}.metainfo.xml)
    # man prints its warnings on standard error and the page on standard output; any warning
    # (a line it cannot break, an unknown macro) fails.
    foreach(page pixelion.1 ja/pixelion.1)
        string(REPLACE "/" "_" name "manual_${page}")
        add_test(NAME ${name}
                 COMMAND sh -c [[w=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null) && [ -z "$w" ] || { printf '%s\n' "$w"; exit 1; }]]
                         sh ${PROJECT_SOURCE_DIR}/man/${page})
    endforeach()
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

# The package built, checked with lintian, and run: from a throw-away unpacked copy, or (with
# CI=true) installed into this machine, run from PATH and removed again. It may change the
# system, so it runs alone, only in the normal build, and skips itself where it cannot run.
if(NOT WIN32 AND NOT PIXELION_SANITIZE AND NOT PIXELION_FUZZ)
    add_test(NAME package COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-package.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(package PROPERTIES
        LABELS package
        SKIP_RETURN_CODE 77
        RUN_SERIAL TRUE
        TIMEOUT 900)
endif()
