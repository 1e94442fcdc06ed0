# The Windows build: the program, its Win32 layer and the tests that run
# under Wine against the real layer.
#
# Imported plainly are only DLLs the loader takes from the system whatever
# lies in the program's folder: KnownDLLs on XP, 7 and 10 (ole32, oleaut32 and
# the default ones) and comctl32, which the manifests' Common Controls 6
# dependency takes from WinSxS. GDI+ and SetupAPI are not KnownDLLs everywhere:
# they are delay-loaded, and the hook in platform/win32/dll_loading.cpp loads
# them by full path from the system folder.
set(ORV_WIN32_LIBS ole32 oleaut32 uuid comctl32)

# Delay-load import libraries, from the .def files of the functions we call.
set(ORV_DLLTOOL ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool)
set(ORV_DELAY_DIR ${CMAKE_BINARY_DIR}/delayload)
file(MAKE_DIRECTORY ${ORV_DELAY_DIR})
set(ORV_DELAY_LIBS)
foreach(dll gdiplus setupapi)
  set(def ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def)
  set(lib ${ORV_DELAY_DIR}/lib${dll}_delay.a)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # stdcall: the library's symbols keep @N, the DLL's names (-k) do not.
    set(dlltool_def ${def})
    set(dlltool_flags -k)
  else()
    file(READ ${def} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(dlltool_def ${ORV_DELAY_DIR}/${dll}.def)
    # Rewritten only when it changes, so that a new configure relinks nothing.
    file(WRITE ${dlltool_def}.new "${text}")
    configure_file(${dlltool_def}.new ${dlltool_def} COPYONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    set(dlltool_flags)
  endif()
  # Run in its folder: dlltool names the library's symbols after the path given.
  add_custom_command(OUTPUT ${lib}
    COMMAND ${ORV_DLLTOOL} ${dlltool_flags} -d ${dlltool_def} -D ${dll}.dll -y lib${dll}_delay.a
    WORKING_DIRECTORY ${ORV_DELAY_DIR} DEPENDS ${dlltool_def} VERBATIM)
  list(APPEND ORV_DELAY_LIBS ${lib})
endforeach()
add_custom_target(orv_delay_libs DEPENDS ${ORV_DELAY_LIBS})

file(GLOB ORV_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*/win32/*.cpp)
add_library(orv_win32 STATIC ${ORV_WIN32_SOURCES})
target_link_libraries(orv_win32 PUBLIC orv_core ${ORV_WIN32_LIBS} ${ORV_DELAY_LIBS})
add_dependencies(orv_win32 orv_delay_libs)

# Statically linked: the program imports system DLLs only.
set(ORV_STATIC_LINK -static -static-libgcc -static-libstdc++ -s)

add_executable(OrvRapidStart WIN32 ${CMAKE_SOURCE_DIR}/src/app/winmain.cpp ${CMAKE_SOURCE_DIR}/res/OrvRapidStart.rc)
target_link_libraries(OrvRapidStart PRIVATE orv_win32)
target_link_options(OrvRapidStart PRIVATE ${ORV_STATIC_LINK})
file(GLOB ORV_ART CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/art/png/*.png)
set(ORV_RES_COMMON "${CMAKE_SOURCE_DIR}/res/common.rc;${CMAKE_SOURCE_DIR}/res/OrvRapidStart.ico;${CMAKE_SOURCE_DIR}/res/art/art.rc;${ORV_ART}")
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/OrvRapidStart.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/OrvRapidStart.manifest;${ORV_RES_COMMON}")
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/OrvRapidStartDemo.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/OrvRapidStartDemo.manifest;${ORV_RES_COMMON}")

# The demo: the same window on a simulated PC; no elevation.
add_executable(OrvRapidStartDemo WIN32 ${CMAKE_SOURCE_DIR}/src/app/demo_main.cpp ${CMAKE_SOURCE_DIR}/res/OrvRapidStartDemo.rc)
target_link_libraries(OrvRapidStartDemo PRIVATE orv_win32 orv_sim)
target_link_options(OrvRapidStartDemo PRIVATE ${ORV_STATIC_LINK})

# Tests under Wine: GoogleTest built for Windows from Debian's sources.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)

add_executable(orv_probe ${CMAKE_SOURCE_DIR}/tests/win32/probe/probe.cpp ${CMAKE_SOURCE_DIR}/tests/win32/probe/probe.rc)
target_link_libraries(orv_probe PRIVATE orv_win32)
target_link_options(orv_probe PRIVATE ${ORV_STATIC_LINK})

# A stand-in for a DLL planted beside the program: it leaves a marker file
# beside itself when loaded (tests/win32/planted/planted_dll.cpp).
add_library(orv_planted SHARED ${CMAKE_SOURCE_DIR}/tests/win32/planted/planted_dll.cpp)
set_target_properties(orv_planted PROPERTIES PREFIX "" OUTPUT_NAME orvplanted)
target_link_options(orv_planted PRIVATE ${ORV_STATIC_LINK})

file(GLOB ORV_WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
add_executable(orv_win32_tests ${ORV_WIN32_TEST_SOURCES})
target_link_libraries(orv_win32_tests PRIVATE orv_win32 gtest gtest_main)
target_include_directories(orv_win32_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_options(orv_win32_tests PRIVATE ${ORV_STATIC_LINK})
add_dependencies(orv_win32_tests orv_planted)  # its DLL-loading tests load orvplanted.dll
