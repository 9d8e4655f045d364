#pragma once
// A worker thread in the platform's form: one untyped pointer in, an
// unsigned result out. The owner joins it on destruction.

#include <memory>
#include <new>
#include <system_error>
#include <thread>

using AFX_THREADPROC = unsigned (*)(void* param);

class CWinThread {
public:
    CWinThread(AFX_THREADPROC proc, void* param) : m_thread(proc, param) {}
    ~CWinThread() { Join(); }
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
};

// Starts proc(param) at once, with normal priority and the default stack.
// Null when the system cannot start a thread (std::thread would throw; the
// program catches nothing, so the failure is returned instead).
inline std::unique_ptr<CWinThread> AfxBeginThread(AFX_THREADPROC proc, void* param)
{
    try {
        return std::make_unique<CWinThread>(proc, param);
    } catch (const std::system_error&) {
        return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
