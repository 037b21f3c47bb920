// The exported classes' layout is binary interface: products built against
// Setup.h read the members at these offsets. Checked where it is fixed, in
// the 32-bit build (the vtable pointer comes first, then BaseInterface).
#include "Setup.h"

#include <stddef.h>

#if !defined(_WIN64)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(BaseInterface) == 12, "BaseInterface: three 32-bit members");
static_assert(offsetof(BaseInterface, messageCaption) == 8, "");
static_assert(offsetof(Reader, resourceInstance) == 4, "vtable pointer first");
static_assert(offsetof(Reader, volumeFile) == 16, "");
static_assert(offsetof(Reader, volumePath) == 32, "");
static_assert(sizeof(Reader) == 292, "");
static_assert(offsetof(SetupFileManager, rebootFlag) == 292, "");
static_assert(offsetof(SetupFileManager, fileCount) == 332, "");
static_assert(sizeof(SetupFileManager) == 336, "");
static_assert(offsetof(Setup, productInstance) == 336, "");
static_assert(offsetof(Setup, userData) == 384, "");
static_assert(offsetof(Setup, mainWindowExists) == 424, "");
static_assert(sizeof(Setup) == 428, "Setup: 23 members of 32 bits");
static_assert(sizeof(RegistryEntry) == 24, "RegistryEntry: six 32-bit fields");
static_assert(offsetof(RegistryEntry, valueName) == 8, "");
static_assert(offsetof(RegistryEntry, data) == 12, "data before type");
static_assert(offsetof(RegistryEntry, type) == 16, "");
static_assert(offsetof(RegistryEntry, size) == 20, "");
#pragma GCC diagnostic pop
#endif
