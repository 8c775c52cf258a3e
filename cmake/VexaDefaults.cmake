# Compiler settings shared by every target of the project.

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

set(VEXA_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
if(VEXA_WERROR)
  list(APPEND VEXA_WARNINGS -Werror)
endif()
if(VEXA_THREAD_SAFETY)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VEXA_THREAD_SAFETY needs clang")
  endif()
  list(APPEND VEXA_WARNINGS -Wthread-safety -Wthread-safety-beta)
endif()

if(VEXA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# vexa_target_defaults(target): warnings for the project's own code only.
function(vexa_target_defaults target)
  target_compile_options(${target} PRIVATE ${VEXA_WARNINGS})
endfunction()

# vexa_add_test(name SOURCES ... LIBS ... [LABELS ...]): one GoogleTest executable whose cases
# CTest discovers when the tests run (so building never needs a display). Tests labelled
# "integration" share one virtual display and one sound server, so they run one at a time.
function(vexa_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  vexa_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  set(properties TIMEOUT 300)
  if(T_LABELS)
    list(APPEND properties LABELS "${T_LABELS}")
  endif()
  if("integration" IN_LIST T_LABELS)
    list(APPEND properties RESOURCE_LOCK test_environment)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
