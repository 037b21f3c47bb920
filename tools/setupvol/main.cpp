// setupvol: builds, lists, checks and unpacks the data volumes of a product.
// See README.md beside this file.
#include <iostream>
#include <string>
#include <vector>

#include "tools/setupvol/Build.h"
#include "tools/setupvol/Commands.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

// Arguments as UTF-8, whatever the ANSI code page, so that every path works.
static std::vector<std::string> arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv && i < count; ++i) {
        int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(n > 0 ? n - 1 : 0, '\0');
        if (n > 1)
            WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &s[0], n, nullptr, nullptr);
        args.push_back(s);
    }
    LocalFree(argv);
    return args;
}
#endif

static int run(const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "build")
        return runBuild(args, std::cout, std::cerr);
    return runSetupVol(args, std::cout, std::cerr);
}

#ifdef _WIN32
int main() {
    return run(arguments());
}
#else
int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
