#include "traylib/systray/sys_tray_fixture.h"

namespace quorvil::systray_test {
namespace {

TEST_F(SysTrayTest, NothingGoesOutUntilVisibleThenOneAddCarriesEverything) {
    std::vector<LONG> handles;
    ComPtr<IImageList> list = NewImageList(&handles);
    ASSERT_EQ(tray_->putref_ImageList(list.get()), S_OK);
    ASSERT_EQ(tray_->put_Icon(*Variant::Short(2).get()), S_OK);
    ASSERT_EQ(tray_->put_ToolTipText(Bstr(u"  word  ").get()), S_OK);
    EXPECT_TRUE(area_.calls.empty());

    Show();
    ASSERT_EQ(area_.calls.size(), 1u);
    const TrayIconRecord& added = area_.calls[0].record;
    EXPECT_EQ(area_.calls[0].message, shell::NIM_ADD);
    EXPECT_EQ(added.cbSize, 88u);
    EXPECT_EQ(added.uFlags, 7u);
    EXPECT_EQ(added.uID, 0u);
    EXPECT_EQ(added.uCallbackMessage, 1125u);
    EXPECT_EQ(added.hIcon, handles[1]);
    EXPECT_EQ(TipOf(added), std::string("word\0", 5) + std::string(59, ' '));
    // The owner is the object's hidden window, titled with a GUID text.
    EXPECT_TRUE(win::IsWindow(added.hWnd));
    EXPECT_EQ(win::GetWindowTextA(added.hWnd).size(), 38u);
    EXPECT_EQ(win::GetWindowLongA(added.hWnd, win::GWL_STYLE), 0);

    // The same value, or a value that is not the complement, sends nothing.
    tray_->put_Visible(VARIANT_TRUE);
    tray_->put_Visible(1);
    EXPECT_EQ(area_.calls.size(), 1u);
    VARIANT_BOOL visible = 0;
    tray_->get_Visible(&visible);
    EXPECT_EQ(visible, VARIANT_TRUE);

    tray_->put_Visible(VARIANT_FALSE);
    ASSERT_EQ(area_.calls.size(), 2u);
    EXPECT_EQ(area_.calls[1].message, shell::NIM_DELETE);
    EXPECT_EQ(area_.calls[1].record.uFlags, 0u);
}

TEST_F(SysTrayTest, ChangesWhileShownCarryOnlyTheChangedField) {
    std::vector<LONG> handles;
    ComPtr<IImageList> list = NewImageList(&handles);
    tray_->putref_ImageList(list.get());
    Show();
    // Before any tooltip: the field is a NUL and 63 spaces.
    EXPECT_EQ(TipOf(area_.calls[0].record), std::string(1, '\0') + std::string(63, ' '));
    EXPECT_EQ(area_.calls[0].record.hIcon, 0);

    ASSERT_EQ(tray_->put_Icon(*Variant::Text(u"Red").get()), S_OK);
    ASSERT_EQ(area_.calls.size(), 2u);
    EXPECT_EQ(area_.calls[1].message, shell::NIM_MODIFY);
    EXPECT_EQ(area_.calls[1].record.uFlags, 2u);
    EXPECT_EQ(area_.calls[1].record.hIcon, handles[0]);
    tray_->put_Icon(*Variant::Text(u"Red").get());
    EXPECT_EQ(area_.calls.size(), 2u);

    tray_->put_ToolTipText(Bstr(u"  word  ").get());
    ASSERT_EQ(area_.calls.size(), 3u);
    EXPECT_EQ(area_.calls[2].record.uFlags, 4u);
    Bstr stored;
    tray_->get_ToolTipText(stored.Put());
    EXPECT_EQ(stored.Text(), u"word");
    tray_->put_ToolTipText(Bstr(u"word").get());
    EXPECT_EQ(area_.calls.size(), 3u);

    // 63 characters keep their NUL; 70 give the first 64 and no NUL.
    const std::u16string long70 =
        u"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!?()[]<>";
    ASSERT_EQ(long70.size(), 70u);
    tray_->put_ToolTipText(Bstr(long70.substr(0, 63)).get());
    EXPECT_EQ(TipOf(area_.calls.back().record),
              QString::fromStdU16String(long70.substr(0, 63)).toStdString() + '\0');
    tray_->put_ToolTipText(Bstr(long70).get());
    EXPECT_EQ(TipOf(area_.calls.back().record),
              QString::fromStdU16String(long70.substr(0, 64)).toStdString());
    EXPECT_EQ(area_.calls.size(), 5u);
    tray_->get_ToolTipText(stored.Put());
    EXPECT_EQ(stored.Text(), long70);
}

TEST_F(SysTrayTest, RefusedImageListAndFailedLookUpsChangeNothing) {
    // No image list yet: the look-up fails and reaches the caller.
    EXPECT_TRUE(FAILED(tray_->put_Icon(*Variant::Long(1).get())));
    TakeErrorDetails(S_OK);

    ComPtr<IDispatch> notAList;
    tray_->get_Menu(reinterpret_cast<_MenuItems**>(notAList.Put()));
    EXPECT_EQ(tray_->putref_ImageList(notAList.get()), HResultFromLibraryError(35610));
    ErrorDetails error = TakeErrorDetails(S_OK);
    EXPECT_EQ(error.source, u"SystemTray Class");
    EXPECT_EQ(error.description, u"Invalid Object");
    EXPECT_EQ(tray_->putref_ImageList(nullptr), HResultFromLibraryError(35610));
    TakeErrorDetails(S_OK);
    ComPtr<IDispatch> stored;
    tray_->get_ImageList(stored.Put());
    EXPECT_EQ(stored.get(), nullptr);

    std::vector<LONG> handles;
    ComPtr<IImageList> list = NewImageList(&handles);
    ASSERT_EQ(tray_->putref_ImageList(list.get()), S_OK);
    ASSERT_EQ(tray_->put_Icon(*Variant::Long(1).get()), S_OK);
    EXPECT_EQ(tray_->put_Icon(*Variant::Text(u"Green").get()),
              HResultFromLibraryError(platform::imagelist::kErrElementNotFound));
    EXPECT_EQ(TakeErrorDetails(S_OK).description, u"Element not found");
    EXPECT_EQ(tray_->put_Icon(*Variant::Long(7).get()),
              HResultFromLibraryError(platform::imagelist::kErrIndexOutOfBounds));
    TakeErrorDetails(S_OK);
    EXPECT_TRUE(area_.calls.empty());

    Variant icon;
    tray_->get_Icon(icon.Put());
    EXPECT_EQ(icon->vt, VT_I4);
    EXPECT_EQ(icon->lVal, 1);
    Show();
    EXPECT_EQ(area_.calls[0].record.hIcon, handles[0]);
    EXPECT_EQ(area_.calls[0].record.uFlags, 7u);
}

std::vector<std::string> g_previousSaw;
win::LRESULT SpyClassProc(win::HWND hWnd, win::UINT uMsg, win::WPARAM wParam, win::LPARAM lParam) {
    if (uMsg >= win::WM_USER) {
        g_previousSaw.push_back(std::to_string(uMsg) + ":" + std::to_string(lParam));
        return 77;
    }
    return win::DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

TEST_F(SysTrayTest, MouseMessagesBecomeEventsAndGoNoFurther) {
    // A tray whose hidden window starts with a spying class procedure, so that the
    // previous procedure can be watched.
    const win::HWND probe = win::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    const win::LONG classProc =
        win::SetClassLongA(probe, win::GCL_WNDPROC, win::AddressOf(&SpyClassProc));
    ComPtr<_SysTray> spied;
    ASSERT_EQ(SysTray::Create(IID__SysTray, spied.PutVoid()), S_OK);
    win::SetClassLongA(probe, win::GCL_WNDPROC, classProc);
    win::DestroyWindow(probe);
    tray_ = spied;
    spied.Reset();
    Connect();
    Show();
    g_previousSaw.clear();

    std::vector<win::LRESULT> results;
    for (win::LPARAM mouse : {517, 515, 513, 514, 516, 512, 518, 999}) {
        results.push_back(win::SendMessageA(window_, 1125, 0, mouse));
    }
    EXPECT_EQ(sink_.log, (std::vector<std::string>{"Click:1", "MouseDown:1", "MouseUp:1",
                                                   "MouseDown:2", "MouseMove", "DoubleClick:2"}));
    EXPECT_EQ(results, std::vector<win::LRESULT>(8, 0));
    EXPECT_TRUE(g_previousSaw.empty());
    VARIANT_BOOL menuCheck = 0;
    tray_->get_MenuCheck(&menuCheck);
    EXPECT_EQ(menuCheck, VARIANT_TRUE);

    // Any other message passes to the previous procedure untouched.
    EXPECT_EQ(win::SendMessageA(window_, win::WM_USER + 1, 0, 5), 77);
    EXPECT_EQ(g_previousSaw, std::vector<std::string>{"1025:5"});

    // SendEvent is public: a client's own message number.
    sink_.log.clear();
    tray_->SendEvent(516);
    tray_->SendEvent(517);
    EXPECT_EQ(sink_.log, std::vector<std::string>{"MouseDown:2"});
}

}  // namespace
}  // namespace quorvil::systray_test
