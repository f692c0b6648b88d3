// corvane_demo_setup PROGRAM_FOLDER PORT LOCAL_FOLDER
// Used by scripts/run and scripts/screenshot to point Corvane at the demo server.
#include "tools/DemoSetup.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER PORT LOCAL_FOLDER\n", argv[0]);
        return 2;
    }
    demo::DemoSetupRequest request{argv[1], std::atoi(argv[2]), argv[3]};
    std::string error;
    if (!demo::prepareDemoSettings(request, error)) {
        std::fprintf(stderr, "corvane_demo_setup: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
