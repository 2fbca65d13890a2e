# Checks every #include under source/ against the layer diagram of
# ARCHITECTURE.md and prints each include that breaks it.
#   cmake -DSOURCE_DIR=<repo>/source -P CheckLayers.cmake
# Rules:
#  - a framework folder includes only its own layer and the layers below;
#  - the framework includes neither the scene nor a program, the scene no
#    program;
#  - internal/ headers are included only from their own folder;
#  - a backend's headers (platform/<backend>/) only from the platform layer
#    and the programs that choose a backend;
#  - window-system headers (X11, GLX, EGL, Wayland) only inside a backend.
cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<source folder> -P CheckLayers.cmake")
endif()

# Rank of each framework folder: a file may include ranks up to its own.
set(rank_core 0)
set(rank_io 0)
set(rank_resources 1)
set(rank_platform 2)
set(rank_graphics 3)
set(rank_particles 4)
set(rank_app 5)
set(framework_folders core io resources platform graphics particles app)

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.hpp ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.c)
list(SORT files)

set(problems 0)
function(complain file line text)
  message("${file}:${line}: ${text}")
  math(EXPR n "${problems} + 1")
  set(problems ${n} PARENT_SCOPE)
endfunction()

foreach(file ${files})
  # Where the including file stands.
  set(kind "")
  set(own_folder "")
  set(own_rank "")
  set(in_backend FALSE)
  if(file MATCHES "^zyn/([^/]+)/")
    set(own_folder ${CMAKE_MATCH_1})
    if(NOT own_folder IN_LIST framework_folders)
      complain(${file} 0 "a framework folder that is not in the layer diagram")
      continue()
    endif()
    set(kind framework)
    set(own_rank ${rank_${own_folder}})
    if(file MATCHES "^zyn/platform/([^/]+)/" AND NOT CMAKE_MATCH_1 STREQUAL "internal")
      set(in_backend TRUE)
    endif()
  elseif(file MATCHES "^zyn/[^/]+$")
    set(kind umbrella)  # Zyn.h: the whole public API
    set(own_rank 99)
  elseif(file MATCHES "^screensaver/")
    set(kind scene)
    set(own_rank 99)
  elseif(file MATCHES "^programs/([^/]+)/")
    set(kind program)
    set(own_rank 99)
  else()
    complain(${file} 0 "a source folder that is not in the layer diagram")
    continue()
  endif()
  set(is_public_header FALSE)
  if((kind STREQUAL "framework" OR kind STREQUAL "umbrella") AND file MATCHES "\\.h$"
     AND NOT file MATCHES "/internal/" AND NOT in_backend)
    set(is_public_header TRUE)
  endif()

  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include")
  file(STRINGS ${SOURCE_DIR}/${file} all_lines)
  foreach(include_line ${lines})
    # Line numbers make the report clickable.
    list(FIND all_lines "${include_line}" index)
    math(EXPR line "${index} + 1")
    if(NOT include_line MATCHES "#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"]")
      continue()
    endif()
    set(target ${CMAKE_MATCH_1})

    if(target MATCHES "^(X11|GL/glx|GL/glxext|EGL|wayland-|xdg-)")
      if(NOT in_backend)
        complain(${file} ${line} "includes the window-system header ${target} outside a platform backend")
      endif()
    elseif(target MATCHES "^zyn/([^/]+)/")
      set(folder ${CMAKE_MATCH_1})
      if(NOT folder IN_LIST framework_folders)
        complain(${file} ${line} "includes ${target}, which is in no layer")
        continue()
      endif()
      if(kind STREQUAL "framework" AND rank_${folder} GREATER own_rank)
        complain(${file} ${line} "${own_folder} includes ${target}, a layer above it")
      endif()
      if(target MATCHES "/internal/")
        if(NOT own_folder STREQUAL folder)
          complain(${file} ${line} "includes the internal header ${target} of another folder")
        elseif(is_public_header)
          complain(${file} ${line} "a public header includes the internal header ${target}")
        endif()
      endif()
      if(target MATCHES "^zyn/platform/([^/]+)/" AND NOT CMAKE_MATCH_1 STREQUAL "internal")
        if(NOT own_folder STREQUAL "platform" AND NOT kind STREQUAL "program")
          complain(${file} ${line} "includes the backend header ${target}; use the platform API")
        elseif(is_public_header)
          complain(${file} ${line} "a platform API header includes the backend header ${target}")
        endif()
      endif()
    elseif(target MATCHES "^screensaver/")
      if(kind STREQUAL "framework" OR kind STREQUAL "umbrella")
        complain(${file} ${line} "the framework includes the scene header ${target}")
      endif()
    elseif(target MATCHES "^programs/" OR (NOT kind STREQUAL "program" AND include_line MATCHES "\""))
      # Quoted includes are a program's own headers.
      complain(${file} ${line} "includes the program header ${target}")
    endif()
  endforeach()
endforeach()

list(LENGTH files count)
if(problems GREATER 0)
  message(FATAL_ERROR "${problems} include(s) break the layer diagram (${count} files checked)")
endif()
message("The includes of ${count} files follow the layer diagram")
