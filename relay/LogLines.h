#pragma once
// Every line the relay and its commands write to the activity log.

inline constexpr const wchar_t* kReadyLine = L"Dulvet Ready!\r\n";
inline constexpr const wchar_t* kMissCountSettingLine = L"Misscount :%d .\r\n";
inline constexpr const wchar_t* kDelaySettingLine = L"Delay :%d ms .\r\n";
inline constexpr const wchar_t* kDelayLine = L"Delay %d ms.\r\n";
inline constexpr const wchar_t* kCountLine = L"count:%d.\r\n";
inline constexpr const wchar_t* kMissLine = L"Miss a packet.\r\n";
// Not in the activity log: dulvet says it once on standard error, from
// either engine, when datagrams have waited behind one another for over a
// second under the serial delay.
inline constexpr const wchar_t* kSerialDelayNotice =
    L"datagrams have waited more than a second behind one another: the delay is serial, as in the dialog "
    L"(each datagram waits for the one before it); --pipeline delays each datagram on its own";
