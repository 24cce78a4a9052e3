# Checks that every include of the C++ sources points down the layers: a file may include the
# headers of its own folder and of the folders listed for its folder below, nothing else of
# the tree. A folder that holds C++ sources and is not listed fails the check too, so that a
# new folder takes its place in the layers before it is used. ./test runs it (ctest: layering).
#   cmake -DROOT=<source tree> -P tools/check_layers.cmake
# Exits non-zero and names each include that points up or sideways.

if(NOT ROOT)
  message(FATAL_ERROR "check_layers: give the source tree as -DROOT=...")
endif()

# The layers, bottom first: each folder and the folders whose headers it may include. The
# README's "Layout" shows the same. platform/qt is a layer of its own above platform.
set(layers
  parallel scene text platform platform/qt archive convert extract regions language testing app cli fuzz tests bench)
set(uses_parallel "")
set(uses_scene "")
set(uses_text "")
set(uses_platform text)
set(uses_platform/qt platform text)
set(uses_convert text scene platform archive)
set(uses_extract parallel text scene platform archive)
set(uses_archive text scene platform)
set(uses_regions text platform)
set(uses_language text platform)
set(uses_testing text scene platform convert extract archive)
set(uses_app text scene platform platform/qt convert extract archive regions language)
set(uses_cli text scene platform convert extract archive regions)
set(uses_bench text scene platform convert extract archive regions language testing app)
set(uses_fuzz text scene platform convert extract archive regions language testing)
set(uses_tests parallel text scene platform platform/qt convert extract archive regions language testing app cli fuzz)

# The layer a path inside the tree belongs to (platform/qt before platform), or "" for none.
function(layer_of path result)
  set(found "")
  foreach(layer IN LISTS layers)
    if(path STREQUAL layer OR path MATCHES "^${layer}/")
      set(found "${layer}")
      break()
    endif()
  endforeach()
  if(found STREQUAL "platform" AND path MATCHES "^platform/qt(/|$)")
    set(found "platform/qt")
  endif()
  set(${result} "${found}" PARENT_SCOPE)
endfunction()

set(faults "")

# Every folder at the top of the tree that holds C++ sources must be a layer; build trees and
# hidden folders are not looked at.
file(GLOB top RELATIVE "${ROOT}" "${ROOT}/*")
set(sources "")
foreach(folder IN LISTS top)
  if(NOT IS_DIRECTORY "${ROOT}/${folder}" OR folder MATCHES "^(build|\\.)")
    continue()
  endif()
  file(GLOB_RECURSE found RELATIVE "${ROOT}" "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.hpp"
       "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.inc")
  if(NOT found)
    continue()
  endif()
  list(FIND layers "${folder}" known)
  if(known EQUAL -1)
    list(APPEND faults "${folder}/ holds C++ sources but has no place in the layers (tools/check_layers.cmake)")
    continue()
  endif()
  list(APPEND sources ${found})
endforeach()

foreach(source IN LISTS sources)
  layer_of("${source}" own)
  file(STRINGS "${ROOT}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" included "${line}")
    if(included MATCHES "(^|/)\\.\\./")
      list(APPEND faults "${source} includes ${included}: a path out of its folder")
      continue()
    endif()
    layer_of("${included}" used)
    if(used STREQUAL "" OR used STREQUAL own)
      continue()
    endif()
    list(FIND uses_${own} "${used}" allowed)
    if(allowed EQUAL -1)
      list(APPEND faults "${source} includes ${included}: ${own}/ may not use ${used}/")
    endif()
  endforeach()
endforeach()

if(faults)
  list(LENGTH faults count)
  list(JOIN faults "\n  " listed)
  message(FATAL_ERROR "check_layers: ${count} fault(s) against the layers:\n  ${listed}")
endif()
list(LENGTH sources count)
message(STATUS "check_layers: ${count} files, every include points down")
