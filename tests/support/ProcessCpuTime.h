#pragma once
// The processor time this process has used so far (user and system), for
// tests that check a thread waits instead of spinning.

#include <chrono>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

inline std::chrono::microseconds ProcessCpuTime()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return {};
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return std::chrono::microseconds((ticks(kernel) + ticks(user)) / 10);  // 100 ns units
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto micros = [](const timeval& t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
    return std::chrono::duration_cast<std::chrono::microseconds>(micros(usage.ru_utime) + micros(usage.ru_stime));
#endif
}
