# app.cmake — the benchmark's hooks on the recording double, with a driven clock.
add_executable(app_test ${CMAKE_CURRENT_LIST_DIR}/app_test.cpp)
torvex_link_set(torvex_app_double BACKEND torvex_platform_double HOOKS torvex_app)
target_link_libraries(app_test PRIVATE torvex_app_double GTest::gtest GTest::gtest_main)
target_compile_definitions(app_test PRIVATE TORVEX_DATA_FROM_PROGRAM="${TORVEX_DATA_FROM_PROGRAM}")
torvex_gtest(app_test)
if(MINGW)
  # MinGW's GCC 12 sees a vector's resize copy out of bounds where there is none.
  target_compile_options(app_test PRIVATE -Wno-array-bounds)
endif()

# The installed layout works (natively: the check runs what it installed): the runner in bin finds its data files in the data directory
# (share/torvex32, not next to itself) and runs the benchmark, torvex-compare draws its chart
# with the font from there; the desktop integration, the manual pages, the headers and the
# CMake and pkg-config packages are where the README says.
set(TORVEX_INSTALL_CHECK "rm -rf install-check
\"${CMAKE_COMMAND}\" --install . --prefix install-check >/dev/null || exit 1
cd install-check
test ! -e bin/TORVEX32.ZGL && test -f share/torvex32/TORVEX32.ZGL || exit 1
for f in share/applications/torvex32.desktop share/metainfo/torvex32.metainfo.xml \
  share/icons/hicolor/32x32/apps/torvex32.png share/icons/hicolor/128x128/apps/torvex32.png \
  share/man/man6/torvex32.6.gz share/man/man6/torvex32-bench.6.gz \
  share/man/man1/torvex-compare.1.gz share/man/man1/torvex-assets.1.gz include/torvex32/frame/frame.h \
  ${CMAKE_INSTALL_LIBDIR}/cmake/torvex32/torvex32Config.cmake \
  ${CMAKE_INSTALL_LIBDIR}/pkgconfig/torvex32.pc; do test -f $f || { echo missing $f; exit 1; }; done
bin/torvex-compare --png chart.png ${PROJECT_SOURCE_DIR}/tests/data/result-headless.json \
  ${PROJECT_SOURCE_DIR}/tests/data/result-window.json >/dev/null && test -s chart.png || exit 1
bin/torvex32-bench --frames 30")
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME install.runner_runs_from_its_install_location
    COMMAND sh -c "${TORVEX_INSTALL_CHECK}" WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  set_tests_properties(install.runner_runs_from_its_install_location PROPERTIES
    TIMEOUT 120 ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0" PASS_REGULAR_EXPRESSION "Wait a Minute !!")
endif()
