// assets_main.cpp — main() of torvex-assets, the asset tool for font and sprite files.
#include <iostream>

#include "tools/asset_tool.h"
#include "torvex_version.h"

int main(int argc, char** argv) {
  if (AnswerVersion(argc, argv, "torvex-assets")) return 0;
  // Asked for, the usage goes to the standard output and is no error.
  if (argc == 2 && std::string(argv[1]) == "--help") {
    RunAssetTool({}, std::cout, std::cout);
    return 0;
  }
  return RunAssetTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
