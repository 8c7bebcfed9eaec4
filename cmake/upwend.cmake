# Shared build settings and helpers for every area of the tree.

include(${CMAKE_CURRENT_LIST_DIR}/warnings.cmake)

if(UPWEND_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(UPWEND_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(UPWEND_FUZZ)
  # Every object carries coverage for libFuzzer; the engine itself stays in ordinary libraries.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# upwend_add_subdirs([FOLDER]): add every direct subfolder of FOLDER (relative to the current
# source folder; default: the current source folder itself) that has a CMakeLists.txt.
function(upwend_add_subdirs)
  set(parent ${CMAKE_CURRENT_SOURCE_DIR})
  if(ARGC GREATER 0)
    set(parent ${CMAKE_CURRENT_SOURCE_DIR}/${ARGV0})
  endif()
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${parent}/*)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# upwend_library(NAME DIRS dir... [EXCLUDE regex] LIBS lib...): a static library from the
# .cpp files of the given folders (relative to the current source folder).
function(upwend_library name)
  cmake_parse_arguments(A "" "EXCLUDE" "DIRS;LIBS" ${ARGN})
  set(srcs)
  foreach(d ${A_DIRS})
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp)
    list(APPEND srcs ${s})
  endforeach()
  if(A_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${A_EXCLUDE}")
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
endfunction()

# upwend_test(NAME LABELS label... SOURCES file... LIBS lib... [ENV VAR=value...] [LAUNCHER cmd...]):
# a GoogleTest executable whose tests are registered one by one with CTest. LAUNCHER is a command
# that runs the test program (and its listing of tests), given as its last arguments. Tests never
# touch the real user's folders: UPWEND_HOME points into the build tree, and the time scale is small.
function(upwend_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "LABELS;SOURCES;LIBS;ENV;LAUNCHER" ${ARGN})
  if(UPWEND_FUZZ)
    return()
  endif()
  find_package(GTest REQUIRED)
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  include(GoogleTest)
  # The environment goes through "cmake -E env" before the test program: an ENVIRONMENT
  # property of several variables loses all but the first on its way through test discovery.
  # Windows tests run under Wine (the toolchain's emulator), which sees this machine's files on Z:.
  set(drive "")
  if(WIN32)
    set(drive "Z:")
  endif()
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env
    "UPWEND_HOME=${drive}${CMAKE_BINARY_DIR}/test-home/${name}" "UPWEND_BUILD_DIR=${drive}${CMAKE_BINARY_DIR}"
    "UPWEND_SOURCE_DIR=${drive}${PROJECT_SOURCE_DIR}" ${A_ENV} ${A_LAUNCHER} ${CMAKE_CROSSCOMPILING_EMULATOR})
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT}
    DISCOVERY_TIMEOUT 60)
endfunction()

# upwend_fuzz(NAME SOURCES file... LIBS lib... [SECONDS n]): a libFuzzer target, run briefly
# by CTest under the label "fuzz" with a seed corpus folder when one exists beside it.
function(upwend_fuzz name)
  cmake_parse_arguments(A "" "SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT UPWEND_FUZZ)
    return()
  endif()
  if(NOT A_SECONDS)
    set(A_SECONDS 15)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
  file(MAKE_DIRECTORY ${corpus})
  set(seeds)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
    set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  endif()
  add_test(NAME ${name}
    COMMAND ${name} -max_total_time=${A_SECONDS} -max_len=65536 -rss_limit_mb=2048 ${corpus} ${seeds})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 300
    ENVIRONMENT "UPWEND_HOME=${CMAKE_BINARY_DIR}/test-home/${name}")
endfunction()
