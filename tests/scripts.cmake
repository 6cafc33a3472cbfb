# scripts.cmake — the dependency script on systems it cannot install on: without dpkg it names
# what to install and lets the build go on; an unknown set is refused before anything happens.
set(TORVEX_NO_DPKG_CHECK "rm -rf no-dpkg && mkdir no-dpkg || exit 1
for tool in sh tr fold sed; do ln -s \"$(command -v $tool)\" no-dpkg/$tool || exit 1; done
PATH=\"$PWD/no-dpkg\" sh \"${PROJECT_SOURCE_DIR}/scripts/deps.sh\" build run windows")
add_test(NAME scripts.deps_without_dpkg_names_the_packages
  COMMAND sh -c "${TORVEX_NO_DPKG_CHECK}" WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
set_tests_properties(scripts.deps_without_dpkg_names_the_packages PROPERTIES TIMEOUT 60
  PASS_REGULAR_EXPRESSION "no dpkg here.*libsdl2-dev.*timgm6mb-soundfont.*mingw-w64")
add_test(NAME scripts.deps_refuses_an_unknown_set
  COMMAND sh -c "TORVEX_SKIP_DEPS=1 sh \"${PROJECT_SOURCE_DIR}/scripts/deps.sh\" build tset; echo status=$?")
set_tests_properties(scripts.deps_refuses_an_unknown_set PROPERTIES TIMEOUT 60
  PASS_REGULAR_EXPRESSION "unknown set 'tset'.*status=2")
