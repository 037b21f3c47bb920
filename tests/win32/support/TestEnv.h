// Helpers shared by the Win32 tests: scratch folders, files, and the
// library's module handle.
#ifndef SETUP_TESTS_TESTENV_H
#define SETUP_TESTS_TESTENV_H

#include <windows.h>

#include <string>
#include <vector>

namespace testenv {

// Setup.Dll as loaded into the test program.
HINSTANCE library();

// A fresh, empty folder below the build tree's scratch folder, named after
// the running test; returned with backslashes and no trailing backslash.
std::string scratchDir();

// Deletes a folder tree (clearing read-only attributes on the way).
void removeTree(const std::string& dir);

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
bool writeFile(const std::string& path, const std::string& text);
std::vector<unsigned char> readFile(const std::string& path);
bool fileExists(const std::string& path);
bool dirExists(const std::string& path);
std::string currentDir();

// Runs a program and waits; returns its exit code, or -1 when it did not start.
int run(const std::string& commandLine, const std::string& workDir = "");

// Serves what is queued for this thread. A quit message (the background
// window posts one when it goes) is taken out, so that it does not end the
// next message box or dialog of the test.
void pumpMessages();

// A path in the build tree's bin folder (Setup.Dll, setupvol.exe ...).
std::string binPath(const std::string& name);

}  // namespace testenv

#endif
