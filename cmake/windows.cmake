# Outside libraries of the Windows build. fmt and CLI11 are header-only: their headers are taken
# from the build machine through a folder that holds only them, so no other Linux header can
# leak into the Windows compile. GoogleTest is built from Debian's sources.
set(UPWEND_WIN_INCLUDE ${CMAKE_BINARY_DIR}/win-include)
file(MAKE_DIRECTORY ${UPWEND_WIN_INCLUDE})
foreach(dir fmt CLI)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/bootstrap")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${UPWEND_WIN_INCLUDE}/${dir} SYMBOLIC)
endforeach()

add_library(upwend_win_fmt INTERFACE)
target_compile_definitions(upwend_win_fmt INTERFACE FMT_HEADER_ONLY)
target_include_directories(upwend_win_fmt SYSTEM INTERFACE ${UPWEND_WIN_INCLUDE})
add_library(fmt::fmt ALIAS upwend_win_fmt)

add_library(upwend_win_cli11 INTERFACE)
target_include_directories(upwend_win_cli11 SYSTEM INTERFACE ${UPWEND_WIN_INCLUDE})
add_library(CLI11::CLI11 ALIAS upwend_win_cli11)
set(CLI11_FOUND TRUE)

# GoogleTest from source, under the target names find_package(GTest) gives.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(t gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()
set(GTest_FOUND TRUE)

# find_package() calls of the areas find the targets above through these empty package files.
set(cfg ${CMAKE_BINARY_DIR}/win-cmake)
foreach(pkg CLI11 GTest)
  file(WRITE ${cfg}/${pkg}/${pkg}Config.cmake "# provided by cmake/windows.cmake\n")
  set(${pkg}_DIR ${cfg}/${pkg} CACHE PATH "" FORCE)
endforeach()
