#include "smfbytes.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace reedtab::test {

std::string scratchDir(const std::string& name) {
    std::filesystem::path dir = std::filesystem::path(REEDTAB_BINARY_DIR) / "test-scratch" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace reedtab::test
