// The entry point of Qpkit6.dll (Windows only).
//
// Nothing of the library runs when it is loaded or unloaded: there is no
// state to set up (every handler's statics start at zero) and no per-thread
// state, so thread attach and detach notifications are switched off.
#if defined(_WIN32)

#include "win/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}

#endif  // _WIN32
