#include "cxx/gui/Dialogs.h"
#include "cxx/gui/WindowImpl.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Cxx::GUI;

namespace {

constexpr UINT kAsk = WM_APP + 1;
constexpr UINT kPass = WM_APP + 2;
constexpr UINT kThrow = WM_APP + 3;

// An edit control of our own class: what the map does not handle, the edit control does.
class CEditWindow final : public CWindowImpl<CEditWindow> {
public:
    static CWndClassInfo GetWndClassInfo() { return {L"Cxx.GUI.Tests.Edit", L"EDIT"}; }

    std::vector<UINT> seen;

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(kAsk, OnAsk)
        CXX_MESSAGE_HANDLER(kPass, OnPass)
        CXX_MESSAGE_HANDLER(kThrow, OnThrow)
    CXX_END_MSG_MAP()

private:
    LRESULT OnAsk(UINT message, WPARAM, LPARAM, bool&)
    {
        seen.push_back(message);
        return 42;
    }
    LRESULT OnPass(UINT message, WPARAM, LPARAM, bool& handled)
    {
        seen.push_back(message);
        handled = false;
        return 0;
    }
    LRESULT OnThrow(UINT message, WPARAM, LPARAM, bool& handled)
    {
        seen.push_back(message);
        handled = false;
        throw std::runtime_error("handler failed");
    }
};

// Its creation fails by throwing.
class CFailingWindow final : public CWindowImpl<CFailingWindow> {
public:
    static CWndClassInfo GetWndClassInfo() { return {L"Cxx.GUI.Tests.Failing"}; }

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(WM_CREATE, OnCreate)
    CXX_END_MSG_MAP()

private:
    LRESULT OnCreate(UINT, WPARAM, LPARAM, bool&) { throw std::runtime_error("no window"); }
};

// Counts its own deletion; ends from a handler, as a web dialog does.
class CTestDialog : public Dialogs::CModelessDlg<CTestDialog> {
public:
    static inline int IDD = 101;
    explicit CTestDialog(int& deleted) : m_deleted(deleted) {}
    ~CTestDialog() override { ++m_deleted; }

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(WM_INITDIALOG, OnInit)
        CXX_MESSAGE_HANDLER(kAsk, OnEnd)
    CXX_END_MSG_MAP()

    int initialised = 0;

private:
    LRESULT OnInit(UINT, WPARAM, LPARAM, bool&)
    {
        ++initialised;
        return 0;
    }
    LRESULT OnEnd(UINT, WPARAM, LPARAM, bool&)
    {
        EndDialog(0);
        // Still alive: the object goes only once this message has returned.
        initialised = -1;
        return 0;
    }

    int& m_deleted;
};

class CModalTestDialog final : public Dialogs::CDialogImpl<CModalTestDialog> {
public:
    static constexpr int IDD = 101;
    LPARAM init = 0;

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(WM_INITDIALOG, OnInit)
        CXX_MESSAGE_HANDLER(kAsk, OnEnd)
    CXX_END_MSG_MAP()

private:
    LRESULT OnInit(UINT, WPARAM, LPARAM lParam, bool&)
    {
        init = lParam;
        PostMessage(kAsk, 7);
        return 0;
    }
    LRESULT OnEnd(UINT, WPARAM wParam, LPARAM, bool&)
    {
        EndDialog(static_cast<int>(wParam));
        return 0;
    }
};

} // namespace

TEST(WindowImpl, TheMapAnswersItsMessagesAndTheBaseClassTheRest)
{
    CEditWindow edit;
    ASSERT_TRUE(edit.Create(nullptr, RECT{0, 0, 100, 30}, L"text", WS_POPUP));
    EXPECT_EQ(::SendMessageW(edit.Handle(), kAsk, 0, 0), 42);
    // Passed on by its handler, to the edit control, which does not know it.
    EXPECT_EQ(::SendMessageW(edit.Handle(), kPass, 0, 0), 0);
    // DefWindowProcW would answer 0.
    EXPECT_GT(::SendMessageW(edit.Handle(), EM_GETLIMITTEXT, 0, 0), 0);
    wchar_t text[16] = {};
    ::GetWindowTextW(edit.Handle(), text, 16);
    EXPECT_STREQ(text, L"text");
    // A handler that throws has taken its message, which goes no further.
    EXPECT_EQ(::SendMessageW(edit.Handle(), kThrow, 0, 0), 0);
    EXPECT_EQ(::SendMessageW(edit.Handle(), kAsk, 0, 0), 42);
    EXPECT_EQ(edit.seen, (std::vector<UINT>{kAsk, kPass, kThrow, kAsk}));

    EXPECT_EQ(edit.Create(nullptr, RECT{}, L"", WS_POPUP), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    const HWND window = edit.Handle();
    ASSERT_TRUE(edit.DestroyWindow());
    EXPECT_EQ(edit.Handle(), nullptr);
    EXPECT_FALSE(::IsWindow(window));

    CFailingWindow failing;
    EXPECT_EQ(failing.Create(nullptr, RECT{0, 0, 100, 30}, L"", WS_POPUP), nullptr);
    EXPECT_EQ(failing.Handle(), nullptr);
}

TEST(Dialogs, AModalDialogEndsWithItsResult)
{
    CModalTestDialog dialog;
    EXPECT_EQ(dialog.DoModal(nullptr, 5), 7);
    EXPECT_EQ(dialog.init, 5);
    EXPECT_EQ(dialog.Handle(), nullptr);
}

TEST(Dialogs, AModelessDialogDeletesItselfAfterItsLastMessage)
{
    int deleted = 0;
    auto owned = std::make_unique<CTestDialog>(deleted);
    CTestDialog* dialog = owned.get();
    ASSERT_TRUE(CTestDialog::Create(std::move(owned)));
    const HWND window = dialog->Handle();
    EXPECT_EQ(dialog->initialised, 1);
    EXPECT_EQ(deleted, 0);
    ::SendMessageW(window, kAsk, 0, 0);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(deleted, 1);
}

TEST(Dialogs, AModelessDialogWithoutAWindowIsDeletedAtOnce)
{
    int deleted = 0;
    auto owned = std::make_unique<CTestDialog>(deleted);
    CTestDialog::IDD = 999;
    const bool created = CTestDialog::Create(std::move(owned));
    CTestDialog::IDD = 101;
    EXPECT_FALSE(created);
    EXPECT_EQ(deleted, 1);
}
