#pragma once
// Every line the relay and its commands write to the activity log.

inline constexpr const wchar_t* kReadyLine = L"Dulvet Ready!\r\n";
inline constexpr const wchar_t* kMissCountSettingLine = L"Misscount :%d .\r\n";
inline constexpr const wchar_t* kDelaySettingLine = L"Delay :%d ms .\r\n";
inline constexpr const wchar_t* kDelayLine = L"Delay %d ms.\r\n";
inline constexpr const wchar_t* kCountLine = L"count:%d.\r\n";
inline constexpr const wchar_t* kMissLine = L"Miss a packet.\r\n";
