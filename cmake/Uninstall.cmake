cmake_minimum_required(VERSION 3.25)
# Removes the files that `cmake --install` put in place, as its manifest lists them. The manifest
# leaves out DESTDIR, so an install into a staging folder is undone with the same DESTDIR set.
# Files that are gone already are passed over; folders stay, since they may hold files of other
# programs.
# Run as: [DESTDIR=...] cmake -DMANIFEST=<build folder>/install_manifest.txt -P Uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
    message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} does not exist. It is written by "
                        "`cmake --install` of this build folder; without it the installed files "
                        "are not known.")
endif()
file(STRINGS "${MANIFEST}" files)
set(left "")
foreach(listed IN LISTS files)
    if(NOT IS_ABSOLUTE "${listed}")
        continue() # a manifest never lists relative paths; do not guess what one would mean
    endif()
    set(file "$ENV{DESTDIR}${listed}")
    if(EXISTS "${file}" OR IS_SYMLINK "${file}")
        message(STATUS "Removing ${file}")
        file(REMOVE "${file}")
        if(EXISTS "${file}" OR IS_SYMLINK "${file}")
            list(APPEND left "${file}")
        endif()
    else()
        message(STATUS "Already gone: ${file}")
    endif()
endforeach()
if(left)
    list(JOIN left "\n  " left)
    message(FATAL_ERROR "Could not remove:\n  ${left}")
endif()
