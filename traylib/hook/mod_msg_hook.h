// modMsgHook: the table of subclassing hooks and the replacement window procedure.
//
// HookTable maps the text key of a window handle (its signed decimal text followed by "K",
// e.g. "1234K") to the address of the MsgHook that subclasses it. It holds addresses, not
// counted references. It does not exist until the first hook is added and is released again
// when the last entry leaves. Each thread has its own table: window procedures run on the
// thread that owns the window, so a hook lives in the table of its window's thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/win/win_types.h"
#include "traylib/hook/msg_hook.h"

namespace quorvil {

namespace modMsgHook {

using HookTableType = std::map<std::string, std::uintptr_t>;

// The table key of a window handle: "1234K".
std::string HookKey(std::int32_t hWnd);

// The calling thread's table, or nullptr while it does not exist.
const HookTableType* HookTable();

// Replaces the hook's window's procedure with HookWindowProc, keeps the one it replaced as
// the hook's OldWindowProc, and enters the hook into the table.
void InstallHook(MsgHook& hook);

// Puts the hook's OldWindowProc back and takes the hook out of the table; the table goes
// with its last entry.
void RemoveHook(MsgHook& hook);

// The replacement window procedure. A handle without a hook in the table (which the library
// never produces) gets DefWindowProcA.
platform::win::LRESULT HookWindowProc(platform::win::HWND hWnd, platform::win::UINT uMsg,
                                      platform::win::WPARAM wParam, platform::win::LPARAM lParam);

}  // namespace modMsgHook

namespace modGeneral {

// A counted reference to the hook at an address read from HookTable (nullptr when the hook
// is already being destroyed). The hook's count rises by exactly that one reference.
std::shared_ptr<MsgHook> ObjectFromAddress(std::uintptr_t address);

}  // namespace modGeneral

}  // namespace quorvil
