# ThreadSanitizer build (JEX4_TSAN): only the camera code, the SDK stand-ins and the test of SDK
# threads against the notification queue. Qt itself is not instrumented, so the rest of the program
# would tell nothing here; the test keeps Qt on one thread.
jex4_sources(CORE_SOURCES TCamRemote/Sources)
add_library(jex4_core STATIC ${CORE_SOURCES})
target_link_libraries(jex4_core PUBLIC jex4_platform ${CMAKE_DL_LIBS})

# The stand-ins copy themselves next to the program; there is none in this build.
add_custom_target(jex4)
add_subdirectory(sdk)

enable_testing()
include(GoogleTest)
find_package(GTest REQUIRED)
add_executable(t_tsan_CamNotifyThreads
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/TCamRemote/CamNotifyThreads_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/TCamRemote/TsanMain.cpp)
target_include_directories(t_tsan_CamNotifyThreads PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
target_link_libraries(t_tsan_CamNotifyThreads PRIVATE jex4_core GTest::gtest)
target_compile_definitions(t_tsan_CamNotifyThreads PRIVATE JEX4_SDK_BIN_DIR="${JEX4_SDK_BIN_DIR}")
set_target_properties(t_tsan_CamNotifyThreads PROPERTIES AUTOMOC OFF)
gtest_discover_tests(t_tsan_CamNotifyThreads
  TEST_PREFIX "tsan."
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
