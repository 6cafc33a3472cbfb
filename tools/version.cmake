# version.cmake — the version every program reports with --version: the project's version and
# the commit it was built from, written into generated/torvex_version.h on every build (the
# file changes only when the commit does, so only the programs' mains are compiled again).
set(TORVEX_VERSION_HEADER ${PROJECT_BINARY_DIR}/generated/torvex_version.h)
add_custom_target(torvex_version_header
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT=${TORVEX_VERSION_HEADER}
          -DVERSION=${PROJECT_VERSION} -P ${CMAKE_CURRENT_LIST_DIR}/version/write_header.cmake
  BYPRODUCTS ${TORVEX_VERSION_HEADER}
  COMMENT "Noting the version and commit"
  VERBATIM)
add_library(torvex_version INTERFACE)
target_include_directories(torvex_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
add_dependencies(torvex_version torvex_version_header)

# Every program answers --version: link the header to each once all fragments have run.
function(torvex_link_version)
  foreach(program torvex_entry torvex32 torvex32-bench torvex-assets torvex-compare torvex-icon-png
          torvex-make-midi torvex-make-effect frame_testapp)
    # Tools imported from another build (the Windows build's host tools) have theirs.
    if(TARGET ${program})
      get_target_property(imported ${program} IMPORTED)
    endif()
    if(TARGET ${program} AND NOT imported)
      # Only while building: the header is compiled in, nothing of it is installed.
      target_link_libraries(${program} PRIVATE $<BUILD_INTERFACE:torvex_version>)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL torvex_link_version)
