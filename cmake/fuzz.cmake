# libFuzzer targets: one per kind of input the program reads but did not
# write (tests/fuzz/fuzz_*.cpp), each linked with the portable code and the
# simulated PC, all built with AddressSanitizer and UndefinedBehaviorSanitizer.
# Clang only; scripts/fuzz.sh configures build/fuzz with:
#   cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DORV_FUZZ=ON
option(ORV_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(NOT ORV_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ORV_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

set(ORV_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all)
set(ORV_FUZZ_SOURCES ${ORV_CORE_SOURCES} ${ORV_SIM_SOURCES})

# The code under test, instrumented for coverage but without libFuzzer's main.
add_library(orv_fuzz_code STATIC ${ORV_FUZZ_SOURCES})
target_include_directories(orv_fuzz_code PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(orv_fuzz_code PUBLIC ${ORV_FUZZ_SANITIZERS} -fno-omit-frame-pointer -g -O1
                       PRIVATE -fsanitize=fuzzer-no-link)

file(GLOB ORV_FUZZ_TARGET_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
set(ORV_FUZZ_TARGETS)
foreach(source ${ORV_FUZZ_TARGET_SOURCES})
  get_filename_component(target ${source} NAME_WE)
  # The target's own checks are not instrumented for coverage: only the code
  # under test steers the fuzzer.
  add_executable(${target} ${source})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz)
  target_link_libraries(${target} PRIVATE orv_fuzz_code)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer ${ORV_FUZZ_SANITIZERS})
  list(APPEND ORV_FUZZ_TARGETS ${target})
endforeach()
add_custom_target(fuzz_all DEPENDS ${ORV_FUZZ_TARGETS})
