// The sample product's setup executable. For now it constructs the library's
// root object and shows a message from the library's string table, which is
// what a product's setup does before anything else can be shown.
#include "Setup.h"

namespace {

// The product keeps its strings alive for the object's lifetime.
char g_title[] = "Sample Product Setup";

class SampleSetup : public BaseInterface {};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SampleSetup setup{};
    setup.InitBI(GetModuleHandleA("Setup.Dll"), g_title);
    setup.SetParentForMessage(nullptr);
    // "Setup is complete."
    setup.ShowMessage(11130, MB_ICONINFORMATION);
    return 0;
}
