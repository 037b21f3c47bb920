// The facts Setup.h states for product teams, read where nothing but Setup.h
// is included, so that a test can compare them with the library's own
// portable copies (common/PathSize.h).
#include "Setup.h"

int pathSizeOfSetupHeader() { return PathSize; }
