# Native build of the Windows-free logic with AddressSanitizer and
# UndefinedBehaviorSanitizer, and its tests.
set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_library(quorvex_pure STATIC ${PURE_SOURCES})
target_include_directories(quorvex_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(quorvex_pure PUBLIC ${SANITIZE} -g)
target_link_libraries(quorvex_pure PUBLIC quorvex_warnings)
target_link_options(quorvex_pure PUBLIC ${SANITIZE})

find_package(GTest REQUIRED)
enable_testing()
file(GLOB NATIVE_TESTS ${CMAKE_SOURCE_DIR}/tests/native_*.cpp)
add_executable(native_tests ${NATIVE_TESTS})
target_link_libraries(native_tests PRIVATE quorvex_pure GTest::gtest_main)
add_test(NAME native COMMAND native_tests)
# Table texts live until the process ends, by design.
set_tests_properties(native PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
