cmake_minimum_required(VERSION 3.25)
# Installs the build into a scratch staging folder, uninstalls it again and checks that every
# installed file is gone; also that uninstalling twice passes over the missing files and that
# uninstalling without a manifest fails. The install writes its own manifest (of the component
# all our files belong to), so the build folder's install_manifest.txt stays as it was.
# Run as: cmake -DBINARY_DIR=<build> -DSOURCE_DIR=<top> -DSCRATCH=<folder> -P InstallRoundTrip.cmake
set(manifest "${BINARY_DIR}/install_manifest_Unspecified.txt")
set(uninstall "${SOURCE_DIR}/cmake/Uninstall.cmake")
file(REMOVE_RECURSE "${SCRATCH}")
file(REMOVE "${manifest}")

# run(<expected result: 0 or FAIL> args...): runs cmake with the arguments, DESTDIR set.
function(run expect)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${SCRATCH} ${CMAKE_COMMAND} ${ARGN}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(expect STREQUAL "0" AND NOT rc EQUAL 0)
        message(FATAL_ERROR "cmake ${ARGN} failed:\n${out}")
    elseif(expect STREQUAL "FAIL" AND rc EQUAL 0)
        message(FATAL_ERROR "cmake ${ARGN} succeeded, but should not:\n${out}")
    endif()
    set(output "${out}" PARENT_SCOPE)
endfunction()

run(0 --install ${BINARY_DIR} --prefix /usr --component Unspecified)
file(STRINGS "${manifest}" files)
foreach(wanted bin/nimbora share/applications/nimbora.desktop
               share/icons/hicolor/48x48/apps/nimbora.png)
    if(NOT "/usr/${wanted}" IN_LIST files OR NOT EXISTS "${SCRATCH}/usr/${wanted}")
        message(FATAL_ERROR "the install did not put ${wanted} in place:\n${files}")
    endif()
endforeach()

run(0 -DMANIFEST=${manifest} -P ${uninstall})
file(GLOB_RECURSE left LIST_DIRECTORIES false "${SCRATCH}/*")
if(left)
    message(FATAL_ERROR "left behind after uninstalling:\n${left}")
endif()
run(0 -DMANIFEST=${manifest} -P ${uninstall})
if(NOT output MATCHES "Already gone: ${SCRATCH}/usr/bin/nimbora")
    message(FATAL_ERROR "a second uninstall should pass over the missing files:\n${output}")
endif()

file(REMOVE "${manifest}")
run(FAIL -DMANIFEST=${manifest} -P ${uninstall})
if(NOT output MATCHES "Nothing to uninstall")
    message(FATAL_ERROR "uninstalling without a manifest should say why it cannot:\n${output}")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
