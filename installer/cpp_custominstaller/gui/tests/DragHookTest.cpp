#include "installer/cpp_custominstaller/gui/DragHook.h"

#include "browsercontrol/tests/StaThread.h"

#include <gtest/gtest.h>

TEST(DragHook, APressInTheStripOutsideTheCloseBoxMovesTheWindowAt96And144Dpi)
{
    const BrowserControl::Tests::CTestWindow window;
    const HWND handle = window.Get();
    ASSERT_TRUE(::SetWindowPos(handle, nullptr, 200, 100, 440, 300, SWP_NOZORDER | SWP_NOACTIVATE));
    const auto movePosted = [handle] {
        MSG message{};
        return ::PeekMessageW(&message, handle, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE) &&
               message.wParam == HTCAPTION;
    };
    const struct {
        float scale;
        int code;
        UINT message;
        LONG x, y;
        bool moves;
    } cases[] = {
        {1.0f, HC_ACTION, WM_LBUTTONDOWN, 100, 50, true},
        {1.0f, HC_ACTION, WM_LBUTTONDOWN, 400, 20, false},  // the close box: 365-425 by 15-45
        {1.0f, HC_ACTION, WM_LBUTTONDOWN, 364, 20, true},
        {1.0f, HC_ACTION, WM_LBUTTONDOWN, 400, 45, true},
        {1.0f, HC_ACTION, WM_LBUTTONDOWN, 100, 82, true},
        {1.0f, HC_ACTION, WM_LBUTTONDOWN, 100, 83, false},  // below the strip
        {1.0f, HC_ACTION, WM_MOUSEMOVE, 100, 50, false},
        {1.0f, HC_ACTION, WM_LBUTTONUP, 100, 50, false},
        {1.0f, HC_ACTION, WM_MOUSEHOVER, 100, 50, false},
        {1.0f, HC_ACTION, WM_MOUSELEAVE, 100, 50, false},
        {1.0f, HC_NOREMOVE, WM_LBUTTONDOWN, 100, 50, false},
        {1.0f, -1, WM_LBUTTONDOWN, 100, 50, false},
        {1.5f, HC_ACTION, WM_LBUTTONDOWN, 100, 123, true},
        {1.5f, HC_ACTION, WM_LBUTTONDOWN, 100, 124, false},
        {1.5f, HC_ACTION, WM_LBUTTONDOWN, 326, 30, true},  // the close box: 327-417 by 22-67
        {1.5f, HC_ACTION, WM_LBUTTONDOWN, 327, 30, false},
        {1.5f, HC_ACTION, WM_LBUTTONDOWN, 417, 30, true},
        {1.5f, HC_ACTION, WM_LBUTTONDOWN, 380, 21, true},
        {1.5f, HC_ACTION, WM_LBUTTONDOWN, 380, 22, false},
        {1.5f, HC_ACTION, WM_LBUTTONDOWN, 380, 66, false},
        {1.5f, HC_ACTION, WM_LBUTTONDOWN, 380, 67, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scale << " " << c.code << " " << c.message << " " << c.x << "," << c.y);
        MOUSEHOOKSTRUCT data{{200 + c.x, 100 + c.y}, handle, HTCLIENT, 0};
        EXPECT_EQ(CustomInstaller::Gui::CDragStrip(c.scale).OnMouse(handle, c.code, c.message, &data), c.moves);
        EXPECT_EQ(movePosted(), c.moves);
        // The hooks after this one still see the screen point.
        EXPECT_EQ(data.pt.x * 1000 + data.pt.y, (200 + c.x) * 1000 + 100 + c.y);
    }
    EXPECT_FALSE(CustomInstaller::Gui::CDragStrip(1.0f).OnMouse(handle, HC_ACTION, WM_LBUTTONDOWN, nullptr));
    EXPECT_FALSE(movePosted());
}
