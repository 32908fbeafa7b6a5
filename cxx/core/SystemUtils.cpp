#include "cxx/core/SystemUtils.h"

#include "cxx/core/Handle.h"

#include <sddl.h>
#include <tlhelp32.h>
#include <wininet.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cstdlib>

namespace Cxx::Core::Utils {

namespace {

bool VersionEquals(DWORD typeMask, OSVERSIONINFOEXW& info)
{
    DWORDLONG condition = 0;
    if (typeMask & VER_MAJORVERSION) {
        VER_SET_CONDITION(condition, VER_MAJORVERSION, VER_EQUAL);
    }
    if (typeMask & VER_MINORVERSION) {
        VER_SET_CONDITION(condition, VER_MINORVERSION, VER_EQUAL);
    }
    if (typeMask & VER_PRODUCT_TYPE) {
        VER_SET_CONDITION(condition, VER_PRODUCT_TYPE, VER_EQUAL);
    }
    if (typeMask & VER_SUITENAME) {
        VER_SET_CONDITION(condition, VER_SUITENAME, VER_AND);
    }
    info.dwOSVersionInfoSize = sizeof(info);
    return ::VerifyVersionInfoW(&info, typeMask, condition) != FALSE;
}

struct CKernel32Version {
    bool valid = false;
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    DWORD revision = 0;
};

CKernel32Version ReadKernel32Version()
{
    CKernel32Version result;
    // The Ex readers are missing from mingw's import library; version.dll is loaded for VerQueryValueW anyway.
    using SizeFn = DWORD(WINAPI*)(DWORD, LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(DWORD, LPCWSTR, DWORD, DWORD, LPVOID);
    HMODULE versionDll = ::GetModuleHandleW(L"version.dll");
    if (!versionDll) {
        return result;
    }
    const auto getSize = reinterpret_cast<SizeFn>(
        reinterpret_cast<void*>(::GetProcAddress(versionDll, "GetFileVersionInfoSizeExW")));
    const auto getInfo =
        reinterpret_cast<InfoFn>(reinterpret_cast<void*>(::GetProcAddress(versionDll, "GetFileVersionInfoExW")));
    if (!getSize || !getInfo) {
        return result;
    }
    const wchar_t* const file = L"kernel32.dll";
    DWORD ignored = 0;
    const DWORD size = getSize(FILE_VER_GET_NEUTRAL, file, &ignored);
    if (size == 0) {
        return result;
    }
    std::vector<BYTE> data(size);
    if (!getInfo(FILE_VER_GET_NEUTRAL, file, 0, size, data.data())) {
        return result;
    }
    void* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", &fixed, &length) || length != sizeof(VS_FIXEDFILEINFO)) {
        return result;
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    result.major = HIWORD(info->dwFileVersionMS);
    result.minor = LOWORD(info->dwFileVersionMS);
    result.build = HIWORD(info->dwFileVersionLS);
    result.revision = LOWORD(info->dwFileVersionLS);
    result.valid = true;
    return result;
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// An unquoted path with blanks would let CreateProcessW run "C:\Program.exe"
// for "C:\Program Files\...".
std::wstring QuotedPath(const std::wstring& path)
{
    if (path.empty() || path.front() == L'"' || std::none_of(path.begin(), path.end(), IsBlank)) {
        return path;
    }
    return L"\"" + path + L"\"";
}

struct WtsMemoryTraits {
    static LPWSTR Invalid() { return nullptr; }
    static void Close(LPWSTR p) { ::WTSFreeMemory(p); }
};
using CWtsText = CUniqueHandle<WtsMemoryTraits>;

bool QuerySessionText(WTS_INFO_CLASS infoClass, std::wstring& text)
{
    CWtsText buffer;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, infoClass, buffer.Put(),
                                       &bytes)) {
        return false;
    }
    text = buffer.Get() ? buffer.Get() : L"";
    return true;
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool LookupAccountOfSid(const std::wstring& sidText, std::wstring& domain, std::wstring& user)
{
    PSID rawSid = nullptr;
    if (!::ConvertStringSidToSidW(sidText.c_str(), &rawSid)) {
        return false;
    }
    CLocalMemory sid(rawSid);
    DWORD userLength = 0;
    DWORD domainLength = 0;
    SID_NAME_USE use;
    ::LookupAccountSidW(nullptr, rawSid, nullptr, &userLength, nullptr, &domainLength, &use);
    if (userLength == 0) {
        return false;
    }
    std::vector<wchar_t> userBuffer(userLength + 1);
    std::vector<wchar_t> domainBuffer(domainLength + 1);
    if (!::LookupAccountSidW(nullptr, rawSid, userBuffer.data(), &userLength, domainBuffer.data(), &domainLength,
                             &use)) {
        return false;
    }
    user = userBuffer.data();
    domain = domainBuffer.data();
    return true;
}

} // namespace

bool GetWindowsVersion(DWORD& major, DWORD& minor, DWORD& productType, DWORD& suiteMask)
{
    bool found = false;
    for (DWORD probeMajor = 5; probeMajor <= 19 && !found; ++probeMajor) {
        OSVERSIONINFOEXW info{};
        info.dwMajorVersion = probeMajor;
        if (!VersionEquals(VER_MAJORVERSION, info)) {
            continue;
        }
        for (DWORD probeMinor = 0; probeMinor <= 4; ++probeMinor) {
            info.dwMinorVersion = probeMinor;
            if (VersionEquals(VER_MAJORVERSION | VER_MINORVERSION, info)) {
                major = probeMajor;
                minor = probeMinor;
                found = true;
                break;
            }
        }
    }
    if (!found) {
        return false;
    }

    productType = 0;
    for (BYTE type : {VER_NT_WORKSTATION, VER_NT_SERVER, VER_NT_DOMAIN_CONTROLLER}) {
        OSVERSIONINFOEXW info{};
        info.wProductType = type;
        if (VersionEquals(VER_PRODUCT_TYPE, info)) {
            productType = type;
            break;
        }
    }

    // 0x10 (terminal services) is left out on purpose: every modern Windows reports it.
    static const WORD suites[] = {0x1,   0x2,   0x4,   0x8,    0x20,   0x40,   0x80,  0x100,
                                  0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000, 0x8000};
    suiteMask = 0;
    for (WORD suite : suites) {
        OSVERSIONINFOEXW info{};
        info.wSuiteMask = suite;
        if (VersionEquals(VER_SUITENAME, info)) {
            suiteMask += suite;
        }
    }
    return true;
}

bool IsVistaOrLater()
{
    DWORD major = 0, minor = 0, productType = 0, suiteMask = 0;
    return GetWindowsVersion(major, minor, productType, suiteMask) && major > 5;
}

bool GetKernel32Version(DWORD& major, DWORD& minor, DWORD& build, DWORD& revision)
{
    // A failed first read is not retried.
    static const CKernel32Version cached = ReadKernel32Version();
    if (!cached.valid) {
        return false;
    }
    major = cached.major;
    minor = cached.minor;
    build = cached.build;
    revision = cached.revision;
    return true;
}

bool IsWow64()
{
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32");
    if (!kernel32) {
        return false;
    }
    const auto isWow64Process =
        reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(::GetProcAddress(kernel32, "IsWow64Process")));
    if (!isWow64Process) {
        return false;
    }
    BOOL wow64 = FALSE;
    return isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

bool Is64BitWindows()
{
#ifdef _WIN64
    return true;
#else
    return IsWow64();
#endif
}

CHandle StartProcess(const std::wstring& path, const std::wstring& arguments)
{
    if (path.empty() && arguments.empty()) {
        return CHandle();
    }
    std::wstring commandLine = QuotedPath(path) + L" " + arguments;
    commandLine.erase(0, commandLine.find_first_not_of(L" \t\r\n"));
    if (commandLine.empty()) {
        return CHandle();
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return CHandle();
    }
    const CHandle thread(info.hThread);
    return CHandle(info.hProcess);
}

bool ExecuteAndGetExitCode(const std::wstring& path, const std::wstring& arguments, DWORD& exitCode, bool wait)
{
    const CHandle process = StartProcess(path, arguments);
    if (!process) {
        return false;
    }
    if (wait) {
        ::WaitForSingleObject(process.Get(), INFINITE);
        DWORD code = 0;
        if (::GetExitCodeProcess(process.Get(), &code)) {
            exitCode = code;
        }
    }
    return true;
}

bool Execute(const std::wstring& path, const std::wstring& arguments, bool wait)
{
    DWORD ignored = 0;
    return ExecuteAndGetExitCode(path, arguments, ignored, wait);
}

bool FindProcessesByName(const std::wstring& exeName, std::vector<DWORD>& processIds, bool sameSessionOnly)
{
    CFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
    if (!snapshot) {
        return false;
    }
    DWORD ownSession = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &ownSession) && sameSessionOnly) {
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (!EqualsIgnoringCase(entry.szExeFile, exeName)) {
            continue;
        }
        if (sameSessionOnly) {
            DWORD session = 0;
            if (!::ProcessIdToSessionId(entry.th32ProcessID, &session) || session != ownSession) {
                continue;
            }
        }
        processIds.push_back(entry.th32ProcessID);
    }
    return true;
}

void ForceForegroundWindow(HWND window)
{
    const DWORD ownThread = ::GetCurrentThreadId();
    const DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    if (foregroundThread == ownThread) {
        ::BringWindowToTop(window);
        ::ShowWindow(window, SW_SHOW);
    } else if (::IsDebuggerPresent()) {
        ::SetForegroundWindow(window);
        ::ShowWindow(window, SW_SHOW);
    } else {
        // Sharing the foreground thread's input state lets this thread raise its window.
        const bool attached = foregroundThread != 0 && ::AttachThreadInput(ownThread, foregroundThread, TRUE);
        ::BringWindowToTop(window);
        ::ShowWindow(window, SW_SHOW);
        if (attached) {
            ::AttachThreadInput(ownThread, foregroundThread, FALSE);
        }
    }
}

BOOL GetWorkAreaAndTaskbar(RECT& workArea, RECT& taskbar)
{
    workArea = RECT{};
    taskbar = RECT{};
    HWND tray = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!tray) {
        // No taskbar (a shell of its own, or none): the primary monitor's work area keeps windows on screen.
        if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0) && !::IsRectEmpty(&workArea)) {
            return TRUE;
        }
        workArea = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        return !::IsRectEmpty(&workArea);
    }
    if (!::GetWindowRect(tray, &taskbar)) {
        taskbar = RECT{};
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    HMONITOR nearest = ::MonitorFromPoint(POINT{taskbar.left + 1, taskbar.top}, MONITOR_DEFAULTTONEAREST);
    if (nearest && ::GetMonitorInfoW(nearest, &monitor)) {
        workArea = monitor.rcWork;
    } else {
        workArea = RECT{0, 0, 1024, 768};
    }
    return TRUE;
}

POINT CalcWindowPosition(SIZE size, int mode, const WorkAreaProvider& provider)
{
    RECT workArea{};
    RECT taskbar{};
    provider(workArea, taskbar);

    if (mode != WindowPositionBesideTaskbar) {
        return POINT{workArea.right / 2 - size.cx / 2, workArea.bottom / 2 - size.cy / 2};
    }
    RECT overlap{};
    if (::IsRectEmpty(&taskbar) || !::IntersectRect(&overlap, &taskbar, &workArea)) {
        return POINT{workArea.right - size.cx, workArea.bottom - size.cy};
    }
    const LONG taskbarWidth = taskbar.right - taskbar.left;
    const LONG taskbarHeight = taskbar.bottom - taskbar.top;
    if (taskbarWidth > taskbarHeight) {
        const bool nearTop = std::labs(taskbar.top - workArea.top) < std::labs(workArea.bottom - taskbar.bottom);
        return nearTop ? POINT{taskbar.right - size.cx, taskbar.bottom}
                       : POINT{taskbar.right - size.cx, taskbar.top - size.cy};
    }
    const bool nearLeft = std::labs(taskbar.left - workArea.left) < std::labs(workArea.right - taskbar.right);
    return nearLeft ? POINT{taskbar.right, taskbar.bottom - size.cy}
                    : POINT{taskbar.left - size.cx, taskbar.bottom - size.cy};
}

bool ReadRegistryString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& text,
                        ERegistryView view)
{
    text.clear();
    REGSAM access = KEY_READ;
    if (Is64BitWindows()) {
        access |= static_cast<REGSAM>(view) << 8;
    }
    CRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, access, key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD longestValue = 0;
    if (::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &longestValue, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    // One character more than the longest value, so that a value stored
    // without its terminator still ends inside the buffer.
    std::vector<wchar_t> buffer(longestValue / sizeof(wchar_t) + 2, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &bytes) != ERROR_SUCCESS) {
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return false;
    }
    const std::size_t characters = bytes / sizeof(wchar_t);
    text.assign(buffer.data(), std::find(buffer.data(), buffer.data() + characters, L'\0'));
    return true;
}

std::wstring ExpandEnvironment(const std::wstring& text)
{
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) {
        return text;
    }
    std::vector<wchar_t> buffer(needed);
    const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed);
    if (written == 0 || written > needed) {
        return text;
    }
    return buffer.data();
}

bool CreateTempFileName(const std::wstring& prefix, std::wstring& path)
{
    wchar_t tempPath[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, tempPath);
    if (length == 0 || length > MAX_PATH) {
        return false;
    }
    wchar_t fileName[MAX_PATH] = {};
    if (::GetTempFileNameW(tempPath, prefix.c_str(), 0, fileName) == 0) {
        return false;
    }
    path = fileName;
    return true;
}

bool CreateFolders(const std::wstring& folder)
{
    if (folder.empty()) {
        return false;
    }
    if (::CreateDirectoryW(folder.c_str(), nullptr)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    const std::size_t slash = folder.find_last_of(L"\\/");
    if (error != ERROR_PATH_NOT_FOUND || slash == std::wstring::npos || slash == 0) {
        return false;
    }
    return CreateFolders(folder.substr(0, slash)) &&
           (::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
}

bool RemoveFolderTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry{};
    {
        const CFindHandle entries(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
        if (entries) {
            do {
                const std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                const std::wstring path = folder + L"\\" + name;
                const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                      (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
                if (isFolder) {
                    RemoveFolderTree(path);
                } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    ::RemoveDirectoryW(path.c_str());
                } else {
                    ::DeleteFileW(path.c_str());
                }
            } while (::FindNextFileW(entries.Get(), &entry));
        }
    }
    return ::RemoveDirectoryW(folder.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND ||
           ::GetLastError() == ERROR_PATH_NOT_FOUND;
}

bool FileExists(const std::wstring& path)
{
    if (path.empty()) {
        return false;
    }
    // "\\?\" lifts the length limit but turns off making the path absolute, so do that first.
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return false;
    }
    std::vector<wchar_t> full(needed);
    const DWORD written = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) {
        return false;
    }
    std::wstring target(full.data(), written);
    if (target.rfind(L"\\\\", 0) == 0) {
        if (target.rfind(L"\\\\?\\", 0) != 0 && target.rfind(L"\\\\.\\", 0) != 0) {
            target = L"\\\\?\\UNC\\" + target.substr(2);
        }
    } else {
        target = L"\\\\?\\" + target;
    }
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

const std::uint16_t* FindValue(const std::uint16_t* values, std::uint16_t key, std::size_t count)
{
    if (!values) {
        return nullptr;
    }
    const std::uint16_t* end = values + count;
    const std::uint16_t* found = std::find(values, end, key);
    return found == end ? nullptr : found;
}

bool GetSessionUserAndDomain(std::wstring& domain, std::wstring& user)
{
    if (!QuerySessionText(WTSUserName, user)) {
        return false;
    }
    return QuerySessionText(WTSDomainName, domain);
}

std::wstring FindProfileSidOfAccount(const std::wstring& domain, const std::wstring& user)
{
    CRegKey profiles;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                        KEY_READ, profiles.Put()) != ERROR_SUCCESS) {
        return {};
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        const LONG status =
            ::RegEnumKeyExW(profiles.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return {};
        }
        if (status != ERROR_SUCCESS) {
            continue;
        }
        std::wstring accountDomain;
        std::wstring accountUser;
        if (LookupAccountOfSid(name, accountDomain, accountUser) && EqualsIgnoringCase(accountUser, user) &&
            EqualsIgnoringCase(accountDomain, domain)) {
            return name;
        }
    }
}

std::wstring GetLoggedOnUserSid()
{
    std::wstring domain;
    std::wstring user;
    if (!GetSessionUserAndDomain(domain, user)) {
        return {};
    }
    return FindProfileSidOfAccount(domain, user);
}

bool IsInternetConnected()
{
    DWORD flags = 0;
    const BOOL connected = ::InternetGetConnectedState(&flags, 0);
    return connected || (flags & (INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY));
}

HMODULE GetCurrentModuleHandle()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&GetCurrentModuleHandle), &module);
    return module;
}

} // namespace Cxx::Core::Utils
