#pragma once

#include "browsercontrol/BrowserWindow.h"
#include "browsercontrol/ExternalDispatch.h"
#include "browsercontrol/js/JSObjects.h"
#include "browsercontrol/tests/ScriptHost.h"
#include "cxx/gui/AxHost.h"
#include "cxx/gui/EventSink.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <exdispid.h>

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

// What the control of each browser window created meanwhile on this thread is asked to open, as
// it reports the navigation's failure (it renders nothing here, so every navigation to a file
// fails): a sink connects to it as its window's creation ends, before the window navigates.
class CNavigationTargets {
public:
    CNavigationTargets() : m_hook(::SetWindowsHookExW(WH_CALLWNDPROCRET, &Record, nullptr, ::GetCurrentThreadId()))
    {
        s_current = this;
    }
    ~CNavigationTargets()
    {
        ::UnhookWindowsHookEx(m_hook);
        s_current = nullptr;
    }
    CNavigationTargets(const CNavigationTargets&) = delete;
    CNavigationTargets& operator=(const CNavigationTargets&) = delete;

    std::vector<std::wstring> targets;

private:
    static LRESULT CALLBACK Record(int code, WPARAM wParam, LPARAM lParam)
    {
        const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (code == HC_ACTION && s_current && message->message == WM_CREATE && message->lResult != -1) {
            if (const auto host = Cxx::GUI::Ax::GetHost(message->hwnd)) {
                s_current->Connect(*host.Get());
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void Connect(Cxx::GUI::Ax::IAxHost& host)
    {
        Cxx::Core::CComPtr<IUnknown> control;
        ASSERT_EQ(host.GetControl(control.Put()), S_OK);
        m_connections.push_back(std::make_unique<Cxx::GUI::CEventConnection>());
        ASSERT_EQ(m_connections.back()->Connect(control.Get(), DIID_DWebBrowserEvents2,
                                                [this](DISPID id, DISPPARAMS* params) {
                                                    // (window, URL, target frame, status, cancel)
                                                    if (id == DISPID_NAVIGATEERROR && params->cArgs == 5) {
                                                        const VARIANT& url = params->rgvarg[3];
                                                        targets.push_back(url.vt == (VT_BYREF | VT_VARIANT)
                                                                              ? url.pvarVal->bstrVal
                                                                              : url.bstrVal);
                                                    }
                                                }),
                  S_OK);
    }

    static inline CNavigationTargets* s_current = nullptr;
    const HHOOK m_hook;
    std::vector<std::unique_ptr<Cxx::GUI::CEventConnection>> m_connections;
};

} // namespace BrowserControl::Tests
