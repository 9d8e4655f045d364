#pragma once
// The link engine's own log lines, beside the dialog's (relay/LogLines.h),
// whose lines it keeps for the same events: "count:K.", "Miss a packet."
// and "Delay D ms.".

#include "relay/LogLines.h"

inline constexpr const wchar_t* kBurstLossLine = L"Lost in a burst.\r\n";
inline constexpr const wchar_t* kRandomLossLine = L"Lost at random.\r\n";
inline constexpr const wchar_t* kOutageLine = L"Link down, dropped.\r\n";
inline constexpr const wchar_t* kQueueFullLine = L"Queue full, dropped.\r\n";
inline constexpr const wchar_t* kNoRoomLine = L"No room to hold it, dropped.\r\n";
inline constexpr const wchar_t* kReorderedLine = L"Reordered.\r\n";
inline constexpr const wchar_t* kDuplicatedLine = L"Duplicated.\r\n";
inline constexpr const wchar_t* kCorruptedLine = L"Corrupted: bit %d flipped.\r\n";
inline constexpr const wchar_t* kNoClientLine = L"Reply before any client, dropped.\r\n";
inline constexpr const wchar_t* kClosedSessionLine = L"Session closed, dropped.\r\n";
inline constexpr const wchar_t* kStrayLine = L"Not from the server, dropped.\r\n";
inline constexpr const wchar_t* kOwnAddressLine = L"From the relay itself, dropped.\r\n";
inline constexpr const wchar_t* kNotAllowedLine = L"Not allowed, dropped.\r\n";
// Each session line starts with "Session " and the client's address:port.
inline constexpr const wchar_t* kSessionOpenedTail = L" opened on port %u.\r\n";
inline constexpr const wchar_t* kSessionIdleTail = L" closed, idle.\r\n";
inline constexpr const wchar_t* kSessionLimitTail = L" closed, too many sessions.\r\n";
inline constexpr const wchar_t* kSessionFailedTail = L" not opened: ";
inline constexpr const wchar_t* kSessionRefusedTail = L" not opened: too many sessions from its address.\r\n";
// Said once, where the user reads notices, when datagrams waited behind one another for over a second.
inline constexpr const wchar_t* kFellBehindNotice = kSerialDelayNotice;
