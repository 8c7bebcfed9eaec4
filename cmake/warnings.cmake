# The same warnings for every target of the tree: libraries, programs, tests, fuzz targets,
# benchmarks, the simulator, the tools and the window. Whether a warning fails the build is the
# preset's choice (CMAKE_COMPILE_WARNING_AS_ERROR), not the CMakeLists': a distribution build
# with a newer compiler then still builds.

set(UPWEND_WARNINGS -Wall -Wextra -Wshadow -Wno-unused-parameter)

# upwend_target_warnings(TARGET): the project's warnings for one target.
function(upwend_target_warnings target)
  target_compile_options(${target} PRIVATE ${UPWEND_WARNINGS})
endfunction()

# upwend_warn_every_target([DIR]): upwend_target_warnings() for every compiled target defined in
# DIR (default: the current source folder) and below it. Called once at the end of the top-level
# CMakeLists, so a target added anywhere in the tree cannot be left out.
function(upwend_warn_every_target)
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  if(ARGC GREATER 0)
    set(dir ${ARGV0})
  endif()
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      upwend_target_warnings(${target})
    endif()
  endforeach()
  # Outside sources built alongside (GoogleTest in the Windows build) keep their own warnings.
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${subdir}" NORMALIZE inside)
    if(inside)
      upwend_warn_every_target(${subdir})
    endif()
  endforeach()
endfunction()
