cmake_minimum_required(VERSION 3.25)
# Checks the systemd user units of contrib/ for what systemd accepts silently but ignores: the
# timer must fire on the clock every three hours (Persistent= only acts on OnCalendar=), a user
# unit cannot wait for network-online.target, and a hanging run must be stopped after the
# command's own download deadline. With a working systemd-analyze the units are also verified.
# Run as: cmake -DSOURCE_DIR=<top of the tree> [-DSYSTEMD_ANALYZE=<program>] -P <this file>
set(timer "${SOURCE_DIR}/contrib/nimbora-background.timer")
set(service "${SOURCE_DIR}/contrib/nimbora-background.service")
file(STRINGS "${timer}" timer_lines REGEX "^[A-Za-z]")
file(STRINGS "${service}" service_lines REGEX "^[A-Za-z]")
set(faults "")

# The value of key= in lines (the last one counts, as for systemd); empty when absent.
function(unit_value lines key out)
    set(value "")
    foreach(line IN LISTS ${lines})
        if(line MATCHES "^${key}=(.*)$")
            string(STRIP "${CMAKE_MATCH_1}" value)
        endif()
    endforeach()
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

unit_value(timer_lines OnCalendar calendar)
unit_value(timer_lines Persistent persistent)
unit_value(service_lines TimeoutStartSec start_timeout)
if(calendar STREQUAL "")
    list(APPEND faults "the timer has no OnCalendar=, so Persistent= does nothing")
endif()
if(NOT persistent MATCHES "^(true|yes|1|on)$")
    list(APPEND faults "the timer does not catch up a missed run (Persistent=true)")
endif()
if(start_timeout STREQUAL "" OR start_timeout MATCHES "^(0|infinity)$")
    list(APPEND faults "the oneshot service has no TimeoutStartSec=, so a hanging run never ends")
endif()
foreach(unit timer service)
    foreach(line IN LISTS ${unit}_lines)
        if(line MATCHES "network-online\\.target")
            list(APPEND faults "user ${unit} names network-online.target, which a user manager lacks")
        endif()
    endforeach()
endforeach()

if(SYSTEMD_ANALYZE AND NOT calendar STREQUAL "")
    # Eight elapses in UTC: each three hours after the one before, on the full hour.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                            ${SYSTEMD_ANALYZE} calendar --iterations=8 "${calendar}"
                    OUTPUT_VARIABLE out RESULT_VARIABLE rc)
    string(REGEX MATCHALL "(elapse|Iter\\. #[0-9]+): [^\n]* ([0-9][0-9]):([0-9][0-9]):([0-9][0-9])"
           elapses "${out}")
    list(LENGTH elapses count)
    if(NOT rc EQUAL 0 OR NOT count EQUAL 8)
        list(APPEND faults "systemd-analyze cannot read OnCalendar=${calendar}: ${out}")
    else()
        set(previous "")
        foreach(elapse IN LISTS elapses)
            string(REGEX MATCH "([0-9][0-9]):([0-9][0-9]):([0-9][0-9])$" time "${elapse}")
            math(EXPR hour "1${CMAKE_MATCH_1} - 100")
            if(NOT CMAKE_MATCH_2 STREQUAL "00" OR NOT CMAKE_MATCH_3 STREQUAL "00")
                list(APPEND faults "OnCalendar=${calendar} fires off the full hour (${time})")
            elseif(NOT previous STREQUAL "")
                math(EXPR expected "(${previous} + 3) % 24")
                if(NOT hour EQUAL expected)
                    list(APPEND faults "OnCalendar=${calendar} fires at ${time} after ${previous}h")
                endif()
            endif()
            set(previous ${hour})
        endforeach()
    endif()

    execute_process(COMMAND ${SYSTEMD_ANALYZE} timespan "${start_timeout}"
                    OUTPUT_VARIABLE out RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "s: ([0-9]+)")
        list(APPEND faults "systemd-analyze cannot read TimeoutStartSec=${start_timeout}")
    elseif(CMAKE_MATCH_1 LESS_EQUAL 120000000)
        list(APPEND faults "TimeoutStartSec=${start_timeout} is not above the command's 120 s")
    endif()

    # A user manager of our own in a scratch home, where nimbora is a stub program.
    set(home "${CMAKE_CURRENT_BINARY_DIR}/background-units-home")
    file(REMOVE_RECURSE "${home}")
    file(MAKE_DIRECTORY "${home}/.local/bin" "${home}/run")
    file(CHMOD "${home}/run" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    file(WRITE "${home}/.local/bin/nimbora" "#!/bin/sh\n")
    file(CHMOD "${home}/.local/bin/nimbora" FILE_PERMISSIONS OWNER_READ OWNER_EXECUTE)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${home} XDG_RUNTIME_DIR=${home}/run
                            ${SYSTEMD_ANALYZE} verify --user "${timer}" "${service}"
                    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
    file(REMOVE_RECURSE "${home}")
    if(err MATCHES "Failed to initialize manager")
        message(STATUS "systemd-analyze verify cannot run here; the units were not verified")
    elseif(NOT rc EQUAL 0 OR NOT err STREQUAL "")
        list(APPEND faults "systemd-analyze verify --user: ${out}${err}")
    endif()
endif()

if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "contrib units:\n  ${text}")
endif()
