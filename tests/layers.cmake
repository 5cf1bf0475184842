# Checks that every #include of the product's code points down the layers of
# ARCHITECTURE.md, and lists each folder's includes on the way.
#
#   cmake -DSOURCE_DIR=<source tree> -P tests/layers.cmake
#
# Layers from the top. A folder may include the folders of its own layer and
# of the layers below it. errors/ is a layer above mail/: the error report is
# sent by mail, and mail/ knows nothing of the error handler. report/ (the
# report as a value, its transports and queue) sits below both, which hand
# reports to it. ui/ sits above platform/: a platform service that waits
# takes the host's event pump as a callback ui/ installs.
set(layers apps errors mail report app,sysutil ui platform,runtime)

set(rank 0)
set(folders)
foreach(layer IN LISTS layers)
  string(REPLACE "," ";" layer_folders "${layer}")
  foreach(folder IN LISTS layer_folders)
    set(rank_${folder} ${rank})
    list(APPEND folders ${folder})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

# The folder a path names: include/tamberlin/<folder>/... for a public
# header (and for an include of one), <folder>/... otherwise.
function(folder_of path out)
  if(path MATCHES "^(include/)?tamberlin/([^/]+)/")
    set(${out} ${CMAKE_MATCH_2} PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

set(globs)
foreach(folder IN LISTS folders)
  list(APPEND globs ${folder}/*.h ${folder}/*.cpp include/tamberlin/${folder}/*.h)
endforeach()
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${globs})
list(SORT sources)

set(upward)
foreach(source IN LISTS sources)
  folder_of(${source} from)
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*" "\\1" included "${line}")
    folder_of(${included} to)
    if(NOT DEFINED rank_${to} OR to STREQUAL from)
      continue()
    endif()
    list(APPEND edges_${from} ${to})
    if(rank_${to} LESS rank_${from})
      list(APPEND upward "${source} includes ${included}: ${from}/ is below ${to}/")
    endif()
  endforeach()
endforeach()

foreach(folder IN LISTS folders)
  if(edges_${folder})
    list(REMOVE_DUPLICATES edges_${folder})
    list(SORT edges_${folder})
  endif()
  list(JOIN edges_${folder} " " targets)
  message("${folder}/ -> ${targets}")
endforeach()

if(upward)
  list(JOIN upward "\n  " report)
  message(FATAL_ERROR "Includes that point up the layers:\n  ${report}")
endif()
