// Exports one function only by its ordinal and one by name, for the import-patching tests.
extern "C" __declspec(dllexport) int ProviderSeven() { return 7; }
extern "C" __declspec(dllexport) int ProviderNamed() { return 8; }
