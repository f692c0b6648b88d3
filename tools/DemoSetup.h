#pragma once
// Prepares the settings file and the server book beside the executable so
// that the program starts connected to the local demo server. Running it
// again reuses what exists: the demo entry is found by name and updated.
#include <string>

namespace demo {

// Name of the demo entry in the server book.
inline constexpr const char* kServerName = "演示服务器";
inline constexpr const char* kUser = "demo";
inline constexpr const char* kPassword = "demo";

struct DemoSetupRequest {
    std::string programFolder; // where wangluo.ini and ipsjk.edb live
    int port = 0;              // the demo server's port on 127.0.0.1
    std::string localFolder;   // the first local folder, when none is kept yet
};

// Writes the server book entry and the settings. On failure returns false
// and puts a one-line reason in error; files already written stay valid.
bool prepareDemoSettings(const DemoSetupRequest& request, std::string& error);

} // namespace demo
