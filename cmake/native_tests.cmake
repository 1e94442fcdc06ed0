# Native tests: all portable code against the simulated PC.
find_package(GTest REQUIRED)
enable_testing()
include(GoogleTest)

# The tests lie in the folder of the layer they test; the fixtures they share
# stay in tests/.
set(ORV_TEST_LAYERS app demo disk partops shell sys ui widgets)
list(TRANSFORM ORV_TEST_LAYERS PREPEND ${CMAKE_SOURCE_DIR}/tests/ OUTPUT_VARIABLE ORV_TEST_DIRS)
list(TRANSFORM ORV_TEST_DIRS APPEND /*.cpp)
file(GLOB ORV_TEST_SOURCES CONFIGURE_DEPENDS ${ORV_TEST_DIRS})
add_executable(orv_tests ${ORV_TEST_SOURCES})
target_link_libraries(orv_tests PRIVATE orv_sim GTest::gtest GTest::gtest_main)
target_include_directories(orv_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(orv_tests PRIVATE ORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(orv_tests DISCOVERY_TIMEOUT 60)

file(GLOB ORV_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
find_package(benchmark QUIET)
if(benchmark_FOUND AND ORV_BENCH_SOURCES)
  add_executable(orv_bench ${ORV_BENCH_SOURCES})
  target_link_libraries(orv_bench PRIVATE orv_sim benchmark::benchmark benchmark::benchmark_main)
endif()

# The committed window art is what its SVG sources render to (skipped where
# the renderer is missing).
add_test(NAME ArtIsRenderedFromItsSources COMMAND ${CMAKE_SOURCE_DIR}/scripts/render-art.sh --check)

# Each fuzz target, built without libFuzzer, replays its seed corpus.
file(GLOB ORV_FUZZ_REPLAY_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
set(ORV_FUZZ_REPLAYS)
foreach(source ${ORV_FUZZ_REPLAY_SOURCES})
  get_filename_component(target ${source} NAME_WE)
  add_executable(replay_${target} ${source} ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
  target_link_libraries(replay_${target} PRIVATE orv_sim)
  target_include_directories(replay_${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz)
  add_test(NAME FuzzSeeds.${target} COMMAND replay_${target} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${target})
  list(APPEND ORV_FUZZ_REPLAYS replay_${target})
endforeach()
add_custom_target(fuzz_replays DEPENDS ${ORV_FUZZ_REPLAYS})
