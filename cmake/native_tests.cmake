# Native tests: all portable code against the simulated PC.
find_package(GTest REQUIRED)
enable_testing()
include(GoogleTest)

file(GLOB ORV_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cpp)
add_executable(orv_tests ${ORV_TEST_SOURCES})
target_link_libraries(orv_tests PRIVATE orv_sim GTest::gtest GTest::gtest_main)
target_include_directories(orv_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
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
