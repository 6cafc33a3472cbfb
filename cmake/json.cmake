# json.cmake — nlohmann/json for the result file and torvex-compare: header-only, taken from
# the system (Debian's nlohmann-json3-dev). The cross build for Windows uses the same header,
# which is plain C++; it is reached through a folder of its own in the build tree, so that the
# cross compiler never sees the rest of the host's /usr/include.
include_guard(GLOBAL)
find_path(TORVEX_JSON_HEADERS nlohmann/json.hpp PATHS /usr/include /usr/local/include
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(torvex_json_folder ${PROJECT_BINARY_DIR}/json-include)
file(MAKE_DIRECTORY ${torvex_json_folder})
if(NOT EXISTS ${torvex_json_folder}/nlohmann)
  file(CREATE_LINK ${TORVEX_JSON_HEADERS}/nlohmann ${torvex_json_folder}/nlohmann SYMBOLIC)
endif()
add_library(torvex_json INTERFACE)
target_include_directories(torvex_json SYSTEM INTERFACE ${torvex_json_folder})
