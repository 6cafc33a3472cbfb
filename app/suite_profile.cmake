# suite_profile.cmake — the test suite's profile of torvex32-bench (packaging/suite-profile/)
# beside the runner in the build, with the runner's path in the build, so that
# --install-suite-profile and the tests find it; packaging/install.cmake installs it with the
# installed runner's path.
set(TORVEX_SUITE_PROFILE_SOURCE ${PROJECT_SOURCE_DIR}/packaging/suite-profile/torvex32)
set(TORVEX_SUITE_PROFILE_FILES test-definition.xml results-definition.xml)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${TORVEX_SUITE_PROFILE_SOURCE}/install.sh.in ${TORVEX_SUITE_PROFILE_SOURCE}/test-definition.xml
  ${TORVEX_SUITE_PROFILE_SOURCE}/results-definition.xml)
set(TORVEX_SUITE_RUNNER "$<TARGET_FILE:torvex32-bench>")
configure_file(${TORVEX_SUITE_PROFILE_SOURCE}/install.sh.in
  ${PROJECT_BINARY_DIR}/generated/suite-profile-build/install.sh.in @ONLY)
file(GENERATE OUTPUT $<TARGET_FILE_DIR:torvex32-bench>/suite-profile/torvex32/install.sh
  INPUT ${PROJECT_BINARY_DIR}/generated/suite-profile-build/install.sh.in
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                   WORLD_EXECUTE)
foreach(file ${TORVEX_SUITE_PROFILE_FILES})
  file(GENERATE OUTPUT $<TARGET_FILE_DIR:torvex32-bench>/suite-profile/torvex32/${file}
    INPUT ${TORVEX_SUITE_PROFILE_SOURCE}/${file})
endforeach()
