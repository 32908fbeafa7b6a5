#pragma once

namespace BrowserControl {

// The result of a web dialog whose page did not show it in time, or asked to close before.
inline constexpr int WebDialogPageTimeout = 32000;

} // namespace BrowserControl
