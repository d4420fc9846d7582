cmake_minimum_required(VERSION 3.25)
# Fails when a source file includes a header of a folder its layer may not use, in either spelling
# ("x/..." or <x/...>), or when a folder's library links a library of ours its layer may not use.
# Run as: cmake -DSOURCE_DIR=<top of the tree> -P CheckLayers.cmake
#
# The layers, bottom to top: core uses nothing of ours; platform uses core; net uses core and
# platform; widgets use core, platform and the embedded pictures (the program icon); the domain
# (render, weather, waypoints) uses widgets, resources, platform and core, weather also net,
# waypoints also the marked points of render; render and weather never use each other; ui uses
# the domain and everything below it; app uses anything.
set(ours "core;platform;net;resources;widgets;render;weather;waypoints;ui;app")
set(allowed_core "core")
set(allowed_platform "core;platform")
set(allowed_net "core;platform;net")
set(allowed_resources "core;resources")
set(allowed_widgets "core;platform;resources;widgets")
set(allowed_render "core;platform;resources;widgets;render")
set(allowed_weather "core;platform;net;resources;widgets;weather")
set(allowed_waypoints "core;platform;resources;widgets;waypoints")
set(allowed_app "${ours}")
# Single headers a folder may take from a folder it may not use as a whole.
set(waypoints_headers "render/Points.h")
set(waypoints_links "render")

# Exceptions that remain until the dialogs move up into ui/ and the generic widgets down into
# widgets/. Today ui/ holds both in one library, nimbora_ui:
# - its widget headers count as widgets, so the lighting dialog in render/ may use SchrinkPanel
#   and the waypoint dialog in waypoints/ the message box; for them render and waypoints link
#   nimbora_ui. No other header of ui/ is open to the domain.
# - ui/ stays below render and weather, which link it. Only the find box looks up names of
#   waypoints/; those two static libraries link each other, which the linker resolves.
set(widget_headers "ui/MenuCaption.h;ui/ProgramIcon.h;ui/SchrinkPanel.h;ui/uVistaFuncs.h")
set(widget_files "MenuCaption;ProgramIcon;SchrinkPanel;uVistaFuncs")
set(allowed_ui "core;platform;net;resources;widgets;waypoints;ui")
list(APPEND render_links "ui")
list(APPEND waypoints_links "ui")

set(include_line "^[ \t]*#[ \t]*include[ \t]*")
set(faults "")
foreach(folder IN LISTS ours)
    file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.hpp"
         "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.cc")
    foreach(file IN LISTS files)
        set(layer ${folder})
        get_filename_component(name "${file}" NAME_WE)
        if(folder STREQUAL "ui" AND name IN_LIST widget_files)
            set(layer widgets)
        endif()
        file(STRINGS "${file}" lines REGEX "${include_line}[\"<]")
        file(RELATIVE_PATH rel "${SOURCE_DIR}" "${file}")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "${include_line}[\"<]([^\">]*)[\">].*" "\\1" header "${line}")
            if(header MATCHES "\\.\\./")
                list(APPEND faults "${rel}: relative include ${header}")
                continue()
            endif()
            if(NOT header MATCHES "/")
                continue() # the folder's own header named without its folder, or a system one
            endif()
            string(REGEX REPLACE "/.*" "" target "${header}")
            if(NOT target IN_LIST ours)
                continue()
            endif()
            # <net/if.h> is the system's: an angle include is ours only if the tree holds it.
            if(line MATCHES "${include_line}<" AND NOT EXISTS "${SOURCE_DIR}/${header}")
                continue()
            endif()
            if(header IN_LIST widget_headers)
                set(target widgets)
            endif()
            if(target IN_LIST allowed_${layer} OR header IN_LIST ${layer}_headers)
                continue()
            endif()
            list(APPEND faults "${rel}: ${folder}/ may not include ${header}")
        endforeach()
    endforeach()

    # The dependency list of the folder's library says the same as its includes.
    if(EXISTS "${SOURCE_DIR}/${folder}/CMakeLists.txt")
        file(READ "${SOURCE_DIR}/${folder}/CMakeLists.txt" build_file)
        string(REGEX MATCHALL "(DEPS|target_link_libraries)[^)]*" link_lists "${build_file}")
        string(REGEX MATCHALL "nimbora_[a-z]+" links "${link_lists}")
        list(REMOVE_ITEM links "nimbora_${folder}")
        foreach(link IN LISTS links)
            string(REPLACE "nimbora_" "" target "${link}")
            if(NOT target IN_LIST allowed_${folder} AND NOT target IN_LIST ${folder}_links)
                list(APPEND faults "${folder}/CMakeLists.txt: ${folder} may not link ${link}")
            endif()
        endforeach()
    endif()
endforeach()

if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Includes and links that run against the layers:\n  ${text}")
endif()
message(STATUS "Every include and link runs downward.")
