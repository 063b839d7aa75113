# vornakle_add_test(NAME [GUI] SOURCES file... LIBRARIES target...)
# One GoogleTest executable is one CTest test. A GUI test gets a main that
# makes a QApplication; it needs no display, running on Qt's offscreen
# platform.
find_package(GTest REQUIRED)

function(vornakle_add_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBRARIES" ${ARGN})
  if(ARG_GUI)
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/main/GuiTestMain.cpp)
    target_link_libraries(${name} PRIVATE Qt6::Widgets Qt6::Test)
  else()
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/main/TestMain.cpp)
    target_link_libraries(${name} PRIVATE Qt6::Core)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp"
    TIMEOUT 600)
endfunction()
