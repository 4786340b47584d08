# Compiler settings and the helper functions every directory uses.

include_directories(${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)

add_compile_options(-Wall -Wextra)
if(WERROR)
  add_compile_options(-Werror)
endif()

if(ENABLE_SANITIZERS OR BUILD_FUZZERS)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(BUILD_FUZZERS)
  # Everything a fuzzer links carries coverage, so it can steer through the decoders.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Router images are small: optimise for size and let the linker drop unused code.
if(CMAKE_BUILD_TYPE STREQUAL "Release" OR CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
  add_compile_options(-Os -ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
endif()

# Flags for what ships on the router: no exceptions or RTTI, and the C++
# runtime linked in so the image needs no libstdc++ package.
add_library(rt_embedded INTERFACE)
target_compile_options(rt_embedded INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
if(NOT ENABLE_SANITIZERS AND NOT BUILD_FUZZERS)
  target_link_options(rt_embedded INTERFACE -static-libstdc++ -static-libgcc)
endif()

set_property(GLOBAL PROPERTY RT_PROGRAMS "")

# rt_program(<name> KIND daemon|tool|devtool SOURCES ... LIBS ...)
#   daemon  -> installed in sbin, tool -> bin, devtool -> built only (sandbox, ONT simulator).
function(rt_program name)
  cmake_parse_arguments(P "" "KIND" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_link_libraries(${name} PRIVATE ${P_LIBS} rt_embedded)
  if(P_KIND STREQUAL "daemon")
    install(TARGETS ${name} RUNTIME DESTINATION sbin)
    set_property(GLOBAL APPEND PROPERTY RT_PROGRAMS ${name})
  elseif(P_KIND STREQUAL "tool")
    install(TARGETS ${name} RUNTIME DESTINATION bin)
    set_property(GLOBAL APPEND PROPERTY RT_PROGRAMS ${name})
  endif()
endfunction()

# rt_unit_test(<name> SOURCES ... LIBS ...): GoogleTest, no root needed, label "unit".
# rt_sandbox_test(<name> SOURCES ... LIBS ...): needs root for the namespaces, label "sandbox".
function(_rt_gtest name label)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # gtest_discover_tests splits a property value at ';', so only one variable
  # travels this way; tests that need the source tree get it compiled in.
  target_compile_definitions(${name} PRIVATE RT_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name}
    PROPERTIES LABELS ${label} TIMEOUT ${T_TIMEOUT}
               ENVIRONMENT "RT_BINARY_DIR=${PROJECT_BINARY_DIR}"
    DISCOVERY_TIMEOUT 60)
endfunction()
function(rt_unit_test name)
  _rt_gtest(${name} unit ${ARGN})
endfunction()
function(rt_sandbox_test name)
  _rt_gtest(${name} sandbox ${ARGN})
endfunction()

# rt_fuzzer(<name> SOURCES ... LIBS ...): libFuzzer target; seeds in fuzz/corpus/<name>.
function(rt_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT BUILD_FUZZERS)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzzers)
endfunction()

# rt_benchmark(<name> SOURCES ... LIBS ...)
function(rt_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT BUILD_BENCHMARKS)
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
endfunction()

# After every build, print the stripped size of what ships and check that no
# shipped binary needs libstdc++.
function(rt_size_report)
  get_property(progs GLOBAL PROPERTY RT_PROGRAMS)
  set(files "")
  foreach(p ${progs})
    list(APPEND files $<TARGET_FILE:${p}>)
  endforeach()
  if(files)
    list(JOIN files "|" joined)
    add_custom_target(size_report ALL
      COMMAND ${CMAKE_COMMAND} "-DFILES=${joined}" -DSTRIP=${CMAKE_STRIP}
              -P ${PROJECT_SOURCE_DIR}/cmake/SizeReport.cmake
      DEPENDS ${progs}
      VERBATIM)
  endif()
endfunction()
