// Where the tests find the built module, with and without an engine beside it.
#pragma once

#include <string>

inline std::string TestPath(const char* relative) {
    return std::string("Z:") + VG_PLUGIN_TEST_DIR + "/" + relative;
}

inline std::string ModuleWithEngine() {
    return TestPath("withengine/VarenGlaze2.8bf");
}

inline std::string ModuleWithoutEngine() {
    return TestPath("noengine/VarenGlaze2.8bf");
}
