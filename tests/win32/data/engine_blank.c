/* A DLL with no resources at all: the engine tests copy it and give each copy
   the version resource a case needs. */
__declspec(dllexport) int engine_blank(void) { return 1; }
