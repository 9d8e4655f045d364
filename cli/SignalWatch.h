#pragma once
// The ways a person or a system asks a console program to end: SIGINT
// (Ctrl+C), SIGTERM and SIGHUP on POSIX; Ctrl+C, Ctrl+Break and closing
// the console window on Windows. Each becomes one EndRequest in the
// control queue, taken on a thread of its own.
//
// Made first thing in main: on POSIX it blocks those signals before any
// other thread exists, so that every thread inherits the block and only
// the watch takes them. A signal the program was started with ignored
// (as "nohup" or a shell's background job does) stays ignored.

#include <memory>

class ControlQueue;

class SignalWatch {
public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // From now on the first signal (also one that came before) reaches the queue.
    void Start(std::shared_ptr<ControlQueue> queue);
    // The program has done its ending (summary written): a closing console
    // may take the process now.
    void Ended();
};
