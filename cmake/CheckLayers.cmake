# Fails when a file of a pure layer reaches, directly or through the project
# headers it includes, a header it must not see: the control
# (connection/qvsource.h), the record-access interface (connection/dllparam*),
# the automation objects (automation/ headers other than the layer's own) or
# an implementation of the record-access library (dllparam/).
#
#   cmake -DSOURCES_FILE=<file listing the layer's sources, one a line>
#         -DBASE_DIR=<directory of the relative ones>
#         -DPROJECT_DIR=<the project's source tree> -P CheckLayers.cmake
#
# Includes are resolved against the including file's folder, PROJECT_DIR/src
# and PROJECT_DIR; system headers and headers outside them are not followed.
cmake_minimum_required(VERSION 3.20)

if(NOT SOURCES_FILE OR NOT PROJECT_DIR)
  message(FATAL_ERROR "CheckLayers: SOURCES_FILE and PROJECT_DIR are required")
endif()
set(INCLUDE_DIRS "${PROJECT_DIR}/src" "${PROJECT_DIR}")
file(STRINGS "${SOURCES_FILE}" listed)
set(sources "")
foreach(src ${listed})
  if(src MATCHES "\\.(c|cc|cpp|h|hpp)$")
    if(NOT IS_ABSOLUTE "${src}")
      set(src "${BASE_DIR}/${src}")
    endif()
    list(APPEND sources "${src}")
  endif()
endforeach()
if(NOT sources)
  message(FATAL_ERROR "CheckLayers: no sources listed in ${SOURCES_FILE}")
endif()

# Returns in out the include name of path ("store/records.h"), or "".
function(include_name path out)
  set(name "")
  foreach(dir ${INCLUDE_DIRS})
    file(RELATIVE_PATH rel "${dir}" "${path}")
    if(NOT rel MATCHES "^\\.\\./")
      set(name "${rel}")
      break()
    endif()
  endforeach()
  set(${out} "${name}" PARENT_SCOPE)
endfunction()

# The layer's own automation headers: those of its sources under automation/.
set(own_headers "")
foreach(src ${sources})
  include_name("${src}" name)
  if(name MATCHES "^automation/")
    string(REGEX REPLACE "\\.[a-z]+$" ".h" header "${name}")
    list(APPEND own_headers "${header}")
  endif()
endforeach()

set(violations "")
set(seen "")
set(queue "")
foreach(src ${sources})
  list(APPEND queue "${src}|${src}")
endforeach()

while(queue)
  list(POP_FRONT queue item)
  string(REPLACE "|" ";" parts "${item}")
  list(GET parts 0 file)
  list(GET parts 1 chain)
  if(file IN_LIST seen)
    continue()
  endif()
  list(APPEND seen "${file}")
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" name "${line}")
    set(forbidden FALSE)
    if(name MATCHES "^connection/(qvsource|dllparam[a-z_]*)\\.(h|def)$" OR name MATCHES "^dllparam/")
      set(forbidden TRUE)
    elseif(name MATCHES "^automation/" AND NOT name IN_LIST own_headers)
      set(forbidden TRUE)
    endif()
    if(forbidden)
      list(APPEND violations "${chain} includes ${name}")
      continue()
    endif()
    get_filename_component(here "${file}" DIRECTORY)
    foreach(dir "${here}" ${INCLUDE_DIRS})
      if(EXISTS "${dir}/${name}")
        list(APPEND queue "${dir}/${name}|${chain} -> ${name}")
        break()
      endif()
    endforeach()
  endforeach()
endwhile()

if(violations)
  list(REMOVE_DUPLICATES violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "A pure file reaches the control, the automation objects or an implementation:\n  ${text}")
endif()
list(LENGTH seen count)
message(STATUS "Layers kept: ${count} files checked")
