# Compiles the Windows sources with mingw-w64 and links them twice, as windowed (GUI)
# programs with the resources of VemoSetup and of Sondrel, then reads the images back:
# the subsystem must be Windows GUI, and the version resource and the manifest (with the
# execution level each program asks for) must be there.
#
# cmake -DCXX=... -DWINDRES=... -DOBJDUMP=... -DOUT=<folder> -DSOURCES=<a;b;...>
#       -DINCLUDE=<folder> -DSETUP_RC=<file> -DAPP_RC=<file> -P cross_compile.cmake

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}${err}")
    endif()
endfunction()

file(MAKE_DIRECTORY "${OUT}")
set(objects "")
foreach(source IN LISTS SOURCES)
    get_filename_component(name "${source}" NAME_WE)
    run(${CXX} -std=c++20 -Wall -Wextra -Werror -municode -DUNICODE -D_UNICODE -I${INCLUDE}
        -c "${source}" -o "${OUT}/${name}.o")
    list(APPEND objects "${OUT}/${name}.o")
endforeach()

foreach(program IN ITEMS VemoSetup Sondrel)
    if(program STREQUAL "VemoSetup")
        set(rc "${SETUP_RC}")
        set(level "requireAdministrator")
    else()
        set(rc "${APP_RC}")
        set(level "asInvoker")
    endif()
    set(image "${OUT}/win_smoke_${program}.exe")
    run(${WINDRES} -i "${rc}" -O coff -o "${OUT}/${program}_res.o")
    run(${CXX} -municode -mwindows ${objects} "${OUT}/${program}_res.o" -o "${image}"
        -lole32 -loleaut32 -luuid -lshell32 -static)

    execute_process(COMMAND ${OBJDUMP} -p "${image}" OUTPUT_VARIABLE headers RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -p ${image} failed")
    endif()
    if(NOT headers MATCHES "Subsystem[ \t]+00000002[ \t]+\\(Windows GUI\\)")
        message(FATAL_ERROR "${program}: the subsystem is not Windows GUI")
    endif()
    # Resource types at the top level of the resource directory: 0x10 version, 0x18 manifest.
    if(NOT headers MATCHES "\n[0-9a-f]+   Entry: ID: 0x000018")
        message(FATAL_ERROR "${program}: no manifest resource")
    endif()
    if(NOT headers MATCHES "\n[0-9a-f]+   Entry: ID: 0x000010")
        message(FATAL_ERROR "${program}: no version resource")
    endif()
    file(STRINGS "${image}" found REGEX "requestedExecutionLevel level=\"${level}\"")
    if(NOT found)
        message(FATAL_ERROR "${program}: the manifest does not ask for ${level}")
    endif()
    file(STRINGS "${image}" found REGEX "PerMonitorV2")
    if(NOT found)
        message(FATAL_ERROR "${program}: the manifest does not declare per-monitor DPI awareness")
    endif()
endforeach()
message(STATUS "both images are Windows GUI programs with their version resource and manifest")
