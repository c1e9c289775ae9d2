include(${CMAKE_CURRENT_LIST_DIR}/Layers.cmake)

# qel_area(NAME <area> SOURCES ... [TESTS ...] [BENCHMARKS ...])
# One object library per area, qel_<area>, compiled from the listed sources (paths relative to
# src/<area>/) and linked to the areas cmake/Layers.cmake allows it; the installed qelbase
# library is made of all of them. Tests and benchmarks are collected for the test and benchmark
# binaries.
function(qel_area)
  cmake_parse_arguments(A "" "NAME" "SOURCES;TESTS;BENCHMARKS;LIBRARIES" ${ARGN})
  set(dir ${PROJECT_SOURCE_DIR}/src/${A_NAME})
  list(TRANSFORM A_SOURCES PREPEND ${dir}/)
  list(TRANSFORM A_TESTS PREPEND ${dir}/)
  list(TRANSFORM A_BENCHMARKS PREPEND ${dir}/)
  add_library(qel_${A_NAME} OBJECT ${A_SOURCES})
  target_include_directories(qel_${A_NAME}
    PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    PRIVATE ${PROJECT_SOURCE_DIR}/src)
  # Only what the public headers mark with QEL_API is exported.
  set_target_properties(qel_${A_NAME} PROPERTIES POSITION_INDEPENDENT_CODE ON
                        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  foreach(dep IN LISTS QEL_AREA_DEPS_${A_NAME})
    target_link_libraries(qel_${A_NAME} PUBLIC qel_${dep})
  endforeach()
  if(A_LIBRARIES)
    target_link_libraries(qel_${A_NAME} PRIVATE ${A_LIBRARIES})
  endif()
  set_property(GLOBAL APPEND PROPERTY QEL_AREA_TARGETS qel_${A_NAME})
  set_property(GLOBAL APPEND PROPERTY QEL_TEST_SOURCES ${A_TESTS})
  set_property(GLOBAL APPEND PROPERTY QEL_BENCH_SOURCES ${A_BENCHMARKS})
endfunction()
