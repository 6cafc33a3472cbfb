// assets_main.cpp — main() of torvex-assets, the asset tool for font and sprite files.
#include <iostream>

#include "tools/asset_tool.h"

int main(int argc, char** argv) {
  return RunAssetTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
