# One static library per source folder, made of every .cpp in it, so a new
# file joins its layer without touching the build.
function(tallyhive_library name)
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB _headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${_sources} ${_headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# tallyhive_test(<name> <label> SOURCES a.cpp... [LIBS libs...] [WRAPPER script])
# Every test links GoogleTest, the test support library and our test main(),
# which points every outside address at loopback or switches it off however
# the program is started; ctest also runs it offscreen, in UTC and the C locale. A WRAPPER script
# runs the test program as its command (for example inside a secret store).
function(tallyhive_test name label)
  cmake_parse_arguments(T "" "TIMEOUT;WRAPPER" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tallyhive_test_support ${T_LIBS} tallyhive_test_main)
  add_test(NAME ${name} COMMAND ${T_WRAPPER} $<TARGET_FILE:${name}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TALLYHIVE_IMAP_HOST=127.0.0.1;TALLYHIVE_PING_HOST=;TALLYHIVE_HOME_PAGE=;TALLYHIVE_OPEN_WORKBOOK=0;TZ=UTC;LC_ALL=C.UTF-8;LANG=C.UTF-8;TALLYHIVE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
