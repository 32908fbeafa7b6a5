#include "installer/cpp_custominstaller/startup/InstanceChecks.h"

#include "cxx/core/Handle.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace CustomInstaller {

namespace {

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

// The first top-level window, in the system's order, that belongs to one of the processes.
struct CWindowSearch {
    const std::vector<DWORD>* processIds;
    HWND found;
};

BOOL CALLBACK MatchWindowOfProcess(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<CWindowSearch*>(data);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (std::find(search->processIds->begin(), search->processIds->end(), processId) == search->processIds->end()) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// EnumWindows walks a snapshot of the top-level windows: a walk from window to
// window with FindWindowExW ends early when the window it stands on closes,
// and another program's window can close at any moment.
HWND FindTopLevelWindowOf(const std::vector<DWORD>& processIds)
{
    CWindowSearch search{&processIds, nullptr};
    ::EnumWindows(&MatchWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring NsisWorkFolder()
{
    wchar_t tempPath[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, tempPath);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    return std::wstring(tempPath, length) + L"~nsu.tmp";
}

} // namespace

std::wstring CProductNameSpecificGenerator::GetSuffix()
{
    return L"QXPDF";
}

bool IsFirstInstance()
{
    return Cxx::Core::COneInstance::IsFirstInstance(false, std::make_unique<CProductNameSpecificGenerator>());
}

void BringRunningCopyToFront()
{
    if (HWND window = ::FindWindowW(nullptr, SetupWindowTitle)) {
        Cxx::Core::Utils::ForceForegroundWindow(window);
    }
}

bool IsSetupAlreadyRunning()
{
    const std::wstring workFolder = NsisWorkFolder();
    return !workFolder.empty() && IsSetupAlreadyRunning(RunningSetupMarker, workFolder);
}

bool IsSetupAlreadyRunning(const std::wstring& markerName, const std::wstring& workFolder)
{
    const Cxx::Core::CHandle marker(::OpenMutexW(SYNCHRONIZE, FALSE, markerName.c_str()));
    if (!marker) {
        return false;
    }
    // A missing or unreadable folder counts as no setup running.
    WIN32_FIND_DATAW entry;
    const std::wstring folder = workFolder.empty() || workFolder.back() == L'\\' ? workFolder : workFolder + L'\\';
    const Cxx::Core::CFindHandle entries(::FindFirstFileW((folder + L'*').c_str(), &entry));
    for (bool more = entries.IsValid(); more; more = ::FindNextFileW(entries.Get(), &entry) != FALSE) {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const std::wstring description = Cxx::Core::Utils::GetFileVersionString(L"FileDescription", folder + name);
        if (description.empty() || !SameTextIgnoringCase(description, SetupWindowTitle)) {
            continue;
        }
        std::vector<DWORD> processIds;
        if (!Cxx::Core::Utils::FindProcessesByName(name, processIds, false) || processIds.empty()) {
            continue;
        }
        if (HWND window = FindTopLevelWindowOf(processIds)) {
            Cxx::Core::Utils::ForceForegroundWindow(window);
            return true;
        }
    }
    return false;
}

} // namespace CustomInstaller
