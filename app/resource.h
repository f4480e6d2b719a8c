// Resource and control numbers of the dialog; each control carries its name as its
// object name so that tests and accessibility tools can find it.
#pragma once

namespace varnolt::app {

inline constexpr int IDD_MAIN = 102;
inline constexpr int IDR_MAINFRAME = 128;

inline constexpr int IDC_DAT_PATH = 1000;
inline constexpr int IDC_BROWSE = 1001;
inline constexpr int IDC_CONVERT = 1002;
inline constexpr int IDC_EXIT = 1003;
inline constexpr int IDC_VOLUME = 1004;
inline constexpr int IDC_UNIT_15 = 1005;
inline constexpr int IDC_UNIT_20 = 1006;
inline constexpr int IDC_UNIT_30 = 1007;
inline constexpr int IDC_UNIT_60 = 1008;
inline constexpr int IDC_CH3 = 1009;
inline constexpr int IDC_CH4 = 1010;
inline constexpr int IDC_CH5 = 1011;

}  // namespace varnolt::app
