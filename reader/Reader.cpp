// Reader: the data volumes as one sequential source.
#include "Setup.h"

// The reader's own notification does nothing; SetupFileManager and Setup
// override it.
int Reader::TakeProcessInfo(int, void*) { return 2; }
