#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Cxx::Core::Utils {

// --- Windows version and processor ---

// Probes the running Windows with VerifyVersionInfoW. False when no major.minor
// pair from 5.0 to 19.4 matches. productType is VER_NT_* or 0; suiteMask holds
// the VER_SUITE_* bits that matched.
bool GetWindowsVersion(DWORD& major, DWORD& minor, DWORD& productType, DWORD& suiteMask);
bool IsVistaOrLater();

// The file version of kernel32.dll, read once per process; false when that read failed.
bool GetKernel32Version(DWORD& major, DWORD& minor, DWORD& build, DWORD& revision);

// True for a 32-bit process on 64-bit Windows.
bool IsWow64();
// True on 64-bit Windows, for a 64-bit process as for a 32-bit one under WOW64:
// what the lookups that depend on the system's bitness ask.
bool Is64BitWindows();

// --- Processes ---

// Runs "path arguments". A path with blanks is quoted here when it is not
// already; an empty path runs the arguments alone. With wait, blocks until the
// process ends and stores its exit code (unchanged when it cannot be read).
// False when there is nothing to run or the process cannot be started.
bool ExecuteAndGetExitCode(const std::wstring& path, const std::wstring& arguments, DWORD& exitCode, bool wait);
bool Execute(const std::wstring& path, const std::wstring& arguments, bool wait);
// Starts the same command line without waiting; the process's handle, invalid
// when nothing was started.
CHandle StartProcess(const std::wstring& path, const std::wstring& arguments);

// Appends the ids of the processes whose executable name equals exeName (any
// case). True also when none matches; false when the processes cannot be listed.
bool FindProcessesByName(const std::wstring& exeName, std::vector<DWORD>& processIds, bool sameSessionOnly);

// --- Windows ---

void ForceForegroundWindow(HWND window);

// Fills the taskbar's rectangle and the work area of the monitor it lies on.
// Without a taskbar, the taskbar stays empty and the work area is the primary
// monitor's. Nonzero when the work area was found.
BOOL GetWorkAreaAndTaskbar(RECT& workArea, RECT& taskbar);

using WorkAreaProvider = std::function<BOOL(RECT& workArea, RECT& taskbar)>;

enum EWindowPositionMode : int {
    WindowPositionCentre = 0,
    WindowPositionBesideTaskbar = 1,
};

// Top-left corner for a window of the given size. mode 1 places it beside the
// taskbar (or in the work area's bottom-right corner), any other mode centres
// it. An empty provider throws std::bad_function_call.
POINT CalcWindowPosition(SIZE size, int mode, const WorkAreaProvider& provider);

// --- Files, registry, session ---

// Registry view for a 32-bit process on 64-bit Windows; ignored elsewhere.
enum ERegistryView : unsigned {
    RegistryViewDefault = 0,
    RegistryView64 = 1,
    RegistryView32 = 2,
};

// Reads a REG_SZ or REG_EXPAND_SZ value (not expanded). text is empty unless
// the read succeeds.
bool ReadRegistryString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& text,
                        ERegistryView view = RegistryViewDefault);

std::wstring ExpandEnvironment(const std::wstring& text);

// Creates an empty, uniquely named file in the temporary folder.
bool CreateTempFileName(const std::wstring& prefix, std::wstring& path);

// True for an existing file (not a folder); relative and long paths work.
bool FileExists(const std::wstring& path);

// Creates the folder and any missing parents; true when it exists afterwards.
bool CreateFolders(const std::wstring& folder);
// Deletes the folder with everything in it; true when nothing of it is left.
// Links inside are removed, never followed.
bool RemoveFolderTree(const std::wstring& folder);

// The first of count values equal to key, or null.
const std::uint16_t* FindValue(const std::uint16_t* values, std::uint16_t key, std::size_t count);

bool GetSessionUserAndDomain(std::wstring& domain, std::wstring& user);

// The SID text of the current session's user, looked up in the profile list;
// empty when it cannot be found.
std::wstring GetLoggedOnUserSid();

// The profile list's SID of the account domain\user (names compared without
// regard to case); empty when none matches.
std::wstring FindProfileSidOfAccount(const std::wstring& domain, const std::wstring& user);

bool IsInternetConnected();

// The module that holds this code (the program, or the DLL it is linked into).
HMODULE GetCurrentModuleHandle();

} // namespace Cxx::Core::Utils
