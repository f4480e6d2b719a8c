// Every text the engine shows to a user, in one place (UTF-8).
#pragma once

#include <string_view>

namespace varnolt::messages {

inline constexpr std::string_view kVolumeOutOfRange = "音量(%)を20-200までに指定して下さい";
inline constexpr std::string_view kNotADatFile = "ＤＡＴファイルを指定して下さい";
inline constexpr std::string_view kFileNotFound = "ファイルが見つかりません";
inline constexpr std::string_view kCannotOpen = "ファイルをオープンできません";
inline constexpr std::string_view kOutOfMemory = "メモリを確保できませんでした";
inline constexpr std::string_view kReadError = "読込エラー";
inline constexpr std::string_view kNoData = "データがありません";
inline constexpr std::string_view kTooMuchData = "データが大き過ぎます";
// The frame-rate mismatch reads: prefix, the file's code in decimal, suffix.
inline constexpr std::string_view kFrameRateMismatchPrefix = "発音単位が違います （1/";
inline constexpr std::string_view kFrameRateMismatchSuffix = "秒）";
inline constexpr std::string_view kCannotCreate = "ファイルを作成できませんでした";
inline constexpr std::string_view kFinished = "終了しました";

}  // namespace varnolt::messages
