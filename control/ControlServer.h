#pragma once
// An HTTP/1.1 server for the control API, on a thread of its own: it reads
// requests, checks what every request must meet (a token when one is set,
// a body of at most kLargestBody, a well-formed request) and hands each
// one to the handler, whose answer it writes back. A client silent for
// kPatience is dropped. It never touches the relay: the handler decides
// what reaches it.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct ControlRequest {
    std::string method;  // "GET", "PATCH", ...
    std::string path;    // without the query
    std::string body;
};

struct ControlResponse {
    int status = 200;
    std::string body;  // JSON unless contentType says otherwise
    std::string contentType = "application/json";
};

class ControlServer {
public:
    // Called on the server's thread, one request at a time.
    using Handler = std::function<ControlResponse(const ControlRequest& request)>;

    // token empty: no Authorization needed.
    ControlServer(Handler handler, std::string token);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Listens on address:port (port 0: one the system chooses) and starts
    // the thread. False, with a message, when it cannot.
    bool Start(const std::string& address, unsigned port, std::string& error);
    unsigned Port() const;
    // Closes every connection and ends the thread.
    void Stop();

    static constexpr std::size_t kLargestBody = 1 << 20;
    static constexpr std::chrono::seconds kPatience{10};

    struct State;  // the server's own, shared with its thread

private:
    std::shared_ptr<State> m_state;
};

// "{\"error\":\"...\"}"
std::string ErrorBody(const std::string& message);
