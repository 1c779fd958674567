# Warning flags for every target of the project, kept at zero warnings.
function(dorvan_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# One Qt Test executable per unit, registered with CTest. Each test runs
# offscreen, in a private runtime directory, with a deadline.
function(dorvan_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES ${name}.cpp)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  qt_add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE dorvan_testsupport Qt6::Test ${ARG_LIBS})
  dorvan_warnings(${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set(runtime_dir ${CMAKE_BINARY_DIR}/test-runtime/${name})
  file(MAKE_DIRECTORY ${runtime_dir})
  # Qt insists on a runtime directory only its owner can enter.
  file(CHMOD ${runtime_dir} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    LABELS "${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${runtime_dir};DORVAN_BIN_DIR=${CMAKE_BINARY_DIR}/bin;LC_ALL=C.UTF-8")
endfunction()

# One static library per source folder, its files listed in the folder's own
# CMakeLists.txt; headers are included from src/ ("base/clock.h").
function(dorvan_add_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  dorvan_warnings(${name})
endfunction()
