cmake_minimum_required(VERSION 3.25)
# Fails when a source file includes a header of a folder its layer may not use.
# Run as: cmake -DSOURCE_DIR=<top of the tree> -P CheckLayers.cmake
#
# The layers, bottom to top: core uses nothing of ours; platform uses core; net uses core and
# platform; render, weather, ui and waypoints use core, platform, net and resources; waypoints
# may take the marked points of render, waypoints also the dialogs of ui, and render the panel
# widget of ui; app uses anything.
set(allowed_core "core")
set(allowed_platform "core;platform")
set(allowed_net "core;platform;net")
set(allowed_resources "core;resources")
set(lower "core;platform;net;resources")
set(allowed_render "${lower};render")
set(allowed_weather "${lower};weather")
set(allowed_ui "${lower};ui")
set(allowed_waypoints "${lower};waypoints")
# The lighting dialog in render/ is built from the collapsible panel widget of ui/.
set(render_ui_headers "ui/SchrinkPanel.h")
# The waypoint dialog asks and reports through the program's message box (ui/) and keeps the
# user's places as marked points of the scene (the record types of render/).
list(APPEND allowed_waypoints "ui")
set(waypoints_render_headers "render/Points.h")

set(ours "core;platform;net;resources;render;weather;ui;waypoints;app")
set(faults "")
foreach(folder core platform net resources render weather ui waypoints)
    file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(file ${files})
        file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        file(RELATIVE_PATH rel "${SOURCE_DIR}" "${file}")
        foreach(line ${lines})
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
            if(header MATCHES "\\.\\./")
                list(APPEND faults "${rel}: relative include ${header}")
                continue()
            endif()
            if(NOT header MATCHES "/")
                continue() # the folder's own header, named without its folder
            endif()
            string(REGEX REPLACE "/.*" "" target "${header}")
            if(NOT target IN_LIST ours)
                continue()
            endif()
            if(target IN_LIST allowed_${folder})
                continue()
            endif()
            if(folder STREQUAL "render" AND header IN_LIST render_ui_headers)
                continue()
            endif()
            if(folder STREQUAL "waypoints" AND header IN_LIST waypoints_render_headers)
                continue()
            endif()
            list(APPEND faults "${rel}: ${folder}/ may not include ${header}")
        endforeach()
    endforeach()
endforeach()

if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Includes that run against the layers:\n  ${text}")
endif()
message(STATUS "Every include runs downward.")
