# The layer rule: no source file includes a header from a folder above its own.
#
# The folders of src/, bottom up (a folder may include the folders below it and its own):
#   0  core
#   1  summary
#   2  study
#   3  each study (particular, maxima, power, the analysis, and any other folder of src/
#      not named here), side by side: none includes another
#   4  desktop: the desktop program's Qt-free support
#   5  the shared windows: desktop/qt (and summary/qt)
#   6  each study's window (STUDY/qt), side by side: it includes its own study, never
#      another study or another study's window
#   7  the front ends side by side: cli (with cli/qt and cli/nogui), app, and the R
#      package's binding (r/quillon/src); they include any study, never each other
# Only includes that name a folder of src/ ("study/plan.h") are checked; a header of a
# file's own folder, the system's and generated ones are not.
#
#   cmake -P scripts/check-layers.cmake
#       checks this tree; lists every refused include and fails if there is one.
#   cmake -DQUILLON_SOURCE_DIR=DIR [-DEXPECTED=FILE] -P scripts/check-layers.cmake
#       checks the tree at DIR; with EXPECTED, succeeds when the refused includes are
#       exactly FILE's lines, "#" lines aside (how the check's own test runs it on a tree
#       of mistakes).
cmake_minimum_required(VERSION 3.25)

if(NOT QUILLON_SOURCE_DIR)
    get_filename_component(QUILLON_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()
set(src "${QUILLON_SOURCE_DIR}/src")

# The place of a folder (relative to src/, or "r" for the R binding): its level, its unit
# (the folders that may include each other at one level) and its lane (the study it belongs
# to, "*" for a front end that may include every study, empty for a shared folder).
function(layer_of folder out_level out_unit out_lane)
    string(REPLACE "/" ";" parts "${folder}")
    list(GET parts 0 top)
    set(window FALSE)
    list(LENGTH parts depth)
    if(depth GREATER 1)
        list(GET parts 1 second)
        if(second STREQUAL "qt")
            set(window TRUE)
        endif()
    endif()
    set(lane "")
    if(top STREQUAL "core")
        set(level 0)
        set(unit core)
    elseif(top MATCHES "^(summary|desktop)$" AND window)
        set(level 5)
        set(unit "shared windows")
    elseif(top STREQUAL "summary")
        set(level 1)
        set(unit summary)
    elseif(top STREQUAL "study")
        set(level 2)
        set(unit study)
    elseif(top STREQUAL "desktop")
        set(level 4)
        set(unit desktop)
    elseif(top MATCHES "^(cli|app|r)$")
        set(level 7)
        set(unit ${top})
        set(lane "*")
    elseif(window)
        set(level 6)
        set(unit "${top}/qt")
        set(lane ${top})
    else()
        set(level 3)
        set(unit ${top})
        set(lane ${top})
    endif()
    set(${out_level} ${level} PARENT_SCOPE)
    set(${out_unit} "${unit}" PARENT_SCOPE)
    set(${out_lane} "${lane}" PARENT_SCOPE)
endfunction()

# The files to check, each with its folder's name for layer_of.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${QUILLON_SOURCE_DIR}"
     "${src}/*.cpp" "${src}/*.h" "${QUILLON_SOURCE_DIR}/r/quillon/src/*.cpp"
     "${QUILLON_SOURCE_DIR}/r/quillon/src/*.h")
list(SORT files)

set(refused)
foreach(file IN LISTS files)
    if(file MATCHES "^r/")
        set(folder r)
    else()
        string(REGEX REPLACE "^src/(.*)/[^/]*$" "\\1" folder "${file}")
    endif()
    layer_of("${folder}" level unit lane)
    file(STRINGS "${QUILLON_SOURCE_DIR}/${file}" includes
         REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+/[^\"]+\"")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header "${line}")
        string(REGEX REPLACE "/[^/]*$" "" header_folder "${header}")
        string(REGEX REPLACE "/.*$" "" header_top "${header}")
        if(NOT IS_DIRECTORY "${src}/${header_top}")
            continue()
        endif()
        layer_of("${header_folder}" header_level header_unit header_lane)
        set(allowed TRUE)
        if(header_level GREATER level)
            set(allowed FALSE)
        elseif(header_level EQUAL level AND NOT header_unit STREQUAL unit)
            set(allowed FALSE)
        elseif(header_lane AND NOT lane STREQUAL "*" AND NOT header_lane STREQUAL lane)
            set(allowed FALSE)
        endif()
        if(NOT allowed)
            list(APPEND refused "${file}: ${header}")
        endif()
    endforeach()
endforeach()

if(DEFINED EXPECTED)
    file(STRINGS "${EXPECTED}" expected)
    list(FILTER expected EXCLUDE REGEX "^#")
    list(SORT expected)
    if(NOT refused STREQUAL expected)
        string(REPLACE ";" "\n  " got "${refused}")
        string(REPLACE ";" "\n  " want "${expected}")
        message(FATAL_ERROR "The layer check refused:\n  ${got}\nbut should refuse:\n  ${want}")
    endif()
    list(LENGTH refused count)
    message(STATUS "The layer check refused the ${count} includes it should")
elseif(refused)
    string(REPLACE ";" "\n  " listed "${refused}")
    message(FATAL_ERROR "Includes from a folder above the including file's own (see the "
                        "layer order in README.md, Layout):\n  ${listed}")
else()
    list(LENGTH files count)
    message(STATUS "Layers: none of ${count} files includes from a folder above its own")
endif()
