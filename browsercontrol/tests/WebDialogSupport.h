#pragma once

#include "browsercontrol/ExternalDispatch.h"
#include "browsercontrol/js/JSObjects.h"
#include "browsercontrol/tests/ScriptHost.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace BrowserControl::Tests {

// Empty pages in a folder of this process's own in the temporary folder, removed with the object.
class CTestPages {
public:
    CTestPages(const std::wstring& stem, std::initializer_list<const wchar_t*> names)
        : m_folder(std::filesystem::temp_directory_path() / (stem + std::to_wstring(::GetCurrentProcessId())))
    {
        std::filesystem::create_directories(m_folder);
        for (const wchar_t* name : names) {
            std::ofstream(m_folder / name) << "<html><body></body></html>";
        }
    }
    ~CTestPages()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    CTestPages(const CTestPages&) = delete;
    CTestPages& operator=(const CTestPages&) = delete;

    std::wstring Path(const wchar_t* name) const { return (m_folder / name).wstring(); }
    // file:///C:/.../name
    std::wstring Url(const wchar_t* name) const
    {
        std::wstring url = L"file:///" + Path(name);
        std::replace(url.begin(), url.end(), L'\\', L'/');
        return url;
    }

private:
    std::filesystem::path m_folder;
};

// A test's steps on a running dialog, one posted message each: whatever a step posts is
// handled before the next step. The dialog routes Message to Run.
template <class TDialog>
class CDialogSteps {
public:
    static constexpr UINT Message = WM_APP + 20;
    using CStep = std::function<void(TDialog&)>;

    explicit CDialogSteps(std::vector<CStep> steps) : m_steps(std::move(steps)) {}

    static CStep Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return [=](TDialog& dialog) { dialog.PostMessage(message, wParam, lParam); };
    }

    void Begin(TDialog& dialog) const { dialog.PostMessage(Message, 0); }
    LRESULT Run(TDialog& dialog, WPARAM index) const
    {
        if (index < m_steps.size()) {
            m_steps[index](dialog);
            dialog.PostMessage(Message, index + 1);
        }
        return 0;
    }

private:
    std::vector<CStep> m_steps;
};

} // namespace BrowserControl::Tests
