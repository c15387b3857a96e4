# velmora_add_test(NAME name SOURCES a.cpp ... [LIBS lib ...] [UI])
# One executable per call, its tests registered with CTest one by one.
# UI tests get a main() that starts a QApplication on the offscreen platform; they are left out
# of a build without the user interface.
# A cross build registers each executable as one test, run through the emulator (Wine) once.
function(velmora_add_test)
  cmake_parse_arguments(ARG "UI" "NAME" "SOURCES;LIBS" ${ARGN})
  if(ARG_UI AND NOT VELMORA_BUILD_UI)
    return()
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(ARG_UI)
    target_sources(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/ui_test_main.cpp)
    target_link_libraries(${ARG_NAME} PRIVATE velmora::ui velmora_test_support GTest::gmock GTest::gtest)
    if(WIN32)
      # The static Qt links only the platform plugin a program names.
      qt_import_plugins(${ARG_NAME} INCLUDE Qt6::QOffscreenIntegrationPlugin)
    endif()
  else()
    target_link_libraries(${ARG_NAME} PRIVATE velmora::core velmora_test_support GTest::gmock GTest::gtest_main)
  endif()
  if(ARG_LIBS)
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS})
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  else()
    gtest_discover_tests(${ARG_NAME}
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
