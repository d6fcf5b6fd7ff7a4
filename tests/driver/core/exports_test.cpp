// The module exports exactly the entry points its .def file lists, and DllMain: nothing of the driver's
// inside is visible to the device manager or to anything else that loads it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

// Global symbols the module defines in its dynamic symbol table (nm marks them with a capital letter).
std::set<std::string> DynamicExports(const std::string& module) {
    std::set<std::string> names;
    FILE* nm = popen(("nm -D --defined-only '" + module + "'").c_str(), "r");
    if (nm == nullptr) {
        ADD_FAILURE() << "cannot run nm";
        return names;
    }
    char line[512];
    while (std::fgets(line, sizeof(line), nm) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name && std::isupper(static_cast<unsigned char>(type[0]))) {
            names.insert(name);
        }
    }
    EXPECT_EQ(pclose(nm), 0);
    return names;
}

std::set<std::string> DefExports(const char* path) {
    std::ifstream def(path);
    std::set<std::string> names;
    std::string word;
    bool inExports = false;
    while (def >> word) {
        if (inExports) {
            names.insert(word);
        }
        inExports = inExports || word == "EXPORTS";
    }
    return names;
}

TEST(ModuleExports, AreTheDefEntryPointsAndDllMainOnly) {
    std::set<std::string> expected;
    for (const char* family : {"COM", "KMX"}) {
        for (const char* verb : {"Init", "Deinit", "Open", "Close", "Read", "Write", "Seek", "IOControl",
                                 "PowerUp", "PowerDown"}) {
            expected.insert(std::string(family) + "_" + verb);
        }
    }
    EXPECT_EQ(DefExports(TULK_DEF_PATH), expected);
    expected.insert("DllMain");
    EXPECT_EQ(DynamicExports(TULK_MODULE_PATH), expected);
}

}  // namespace
