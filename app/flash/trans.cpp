#include "app/flash/trans.h"

namespace kestrane::Trans {

namespace pl = platform::layered;

void MakeTransparent(pl::HWND hWnd, std::uint32_t backColor, std::uint8_t bytOpacity) {
    pl::SetParent(hWnd, 0);

    constexpr std::int32_t kLayeredClickThroughTopmost =
        pl::WS_EX_LAYERED | pl::WS_EX_TRANSPARENT | pl::WS_EX_TOPMOST;  // 0x80028
    const std::int32_t style = pl::GetWindowLongA(hWnd, pl::GWL_EXSTYLE);
    pl::SetWindowLongA(hWnd, pl::GWL_EXSTYLE, style | kLayeredClickThroughTopmost);

    std::uint32_t key = backColor;
    if ((key & 0x80000000u) != 0) {
        key = pl::GetSysColor(static_cast<int>(key & 0xFFu));
    }
    pl::SetLayeredWindowAttributes(hWnd, key, bytOpacity, pl::LWA_COLORKEY | pl::LWA_ALPHA);

    pl::SetWindowPos(hWnd, pl::HWND_TOPMOST, 0, 0, 0, 0,
                     pl::SWP_NOSIZE | pl::SWP_NOMOVE | pl::SWP_NOACTIVATE | pl::SWP_SHOWWINDOW |
                         pl::SWP_NOSENDCHANGING);  // 0x453
}

}  // namespace kestrane::Trans
