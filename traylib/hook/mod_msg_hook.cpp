#include "traylib/hook/mod_msg_hook.h"

#include "platform/win/window.h"

namespace quorvil {

namespace modMsgHook {

namespace {

thread_local std::unique_ptr<HookTableType> t_hookTable;

}  // namespace

std::string HookKey(std::int32_t hWnd) {
    return std::to_string(hWnd) + "K";
}

const HookTableType* HookTable() {
    return t_hookTable.get();
}

void InstallHook(MsgHook& hook) {
    const std::int32_t h = hook.hWnd();
    // Whatever the call returns is kept, also the 0 of a failure.
    hook.SetOldWindowProc(platform::win::SetWindowLongA(h, platform::win::GWL_WNDPROC,
                                                        platform::win::AddressOf(&HookWindowProc)));
    if (!t_hookTable) {
        t_hookTable = std::make_unique<HookTableType>();
    }
    t_hookTable->emplace(HookKey(h), reinterpret_cast<std::uintptr_t>(&hook));
}

void RemoveHook(MsgHook& hook) {
    const std::int32_t h = hook.hWnd();
    platform::win::SetWindowLongA(h, platform::win::GWL_WNDPROC, hook.OldWindowProc());
    if (!t_hookTable) {
        return;
    }
    auto entry = t_hookTable->find(HookKey(h));
    // Only this hook's own entry leaves (a second hook on the same window never entered).
    if (entry != t_hookTable->end() && entry->second == reinterpret_cast<std::uintptr_t>(&hook)) {
        t_hookTable->erase(entry);
    }
    if (t_hookTable->empty()) {
        t_hookTable.reset();
    }
}

platform::win::LRESULT HookWindowProc(platform::win::HWND hWnd, platform::win::UINT uMsg,
                                      platform::win::WPARAM wParam, platform::win::LPARAM lParam) {
    std::shared_ptr<MsgHook> hook;
    if (t_hookTable) {
        auto entry = t_hookTable->find(HookKey(hWnd));
        if (entry != t_hookTable->end()) {
            hook = modGeneral::ObjectFromAddress(entry->second);
        }
    }
    if (!hook) {
        return platform::win::DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
    const std::int32_t result = hook->HandleMessage(hWnd, static_cast<std::int32_t>(uMsg),
                                                    static_cast<std::int32_t>(wParam), lParam);
    if (uMsg == platform::win::WM_DESTROY) {
        // The previous procedure has handled the destroy message inside HandleMessage; now it
        // gets its place back and the table entry goes.
        hook->StopSubclass();
    }
    return result;
}

}  // namespace modMsgHook

namespace modGeneral {

std::shared_ptr<MsgHook> ObjectFromAddress(std::uintptr_t address) {
    return reinterpret_cast<MsgHook*>(address)->weak_from_this().lock();
}

}  // namespace modGeneral

}  // namespace quorvil
