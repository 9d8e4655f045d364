#include "control/ControlServer.h"

#include <thread>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

std::string ErrorBody(const std::string& message)
{
    return nlohmann::json{{"error", message}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

struct ControlServer::State {
    Handler handler;
    std::string token;
    asio::io_context io{1};
    std::optional<tcp::acceptor> acceptor;
    std::thread thread;
};

namespace {

using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// One client's connection: read a request, answer it, and again while it keeps the connection.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, ControlServer::Handler& handler, const std::string& token)
        : m_stream(std::move(socket)), m_handler(handler), m_token(token)
    {
    }

    void Read()
    {
        m_parser.emplace();
        m_parser->body_limit(ControlServer::kLargestBody);
        m_parser->header_limit(64 * 1024);
        m_stream.expires_after(ControlServer::kPatience);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRead(error); });
    }

private:
    void OnRead(beast::error_code error)
    {
        if (error == http::error::end_of_stream || error == beast::error::timeout || error == asio::error::eof ||
            error == asio::error::operation_aborted || error == asio::error::connection_reset) {
            Close();
            return;
        }
        if (error == http::error::body_limit) {
            Answer({413, ErrorBody("the body is larger than 1 MiB"), "application/json"}, false, 11);
            return;
        }
        if (error) {
            Answer({400, ErrorBody("not a well-formed HTTP/1.1 request: " + error.message()), "application/json"},
                   false, 11);
            return;
        }
        const Request& request = m_parser->get();
        const bool keepAlive = request.keep_alive();
        const unsigned version = request.version();
        if (!m_token.empty() && request[http::field::authorization] != "Bearer " + m_token) {
            ControlResponse refused{401, ErrorBody("this control API needs 'Authorization: Bearer TOKEN'"),
                                    "application/json"};
            Answer(refused, keepAlive, version, true);
            return;
        }
        ControlRequest call;
        call.method = std::string(request.method_string());
        const std::string target(request.target());
        call.path = std::string(target.substr(0, target.find('?')));
        call.body = request.body();
        ControlResponse response;
        try {
            response = m_handler(call);
        } catch (const std::exception& problem) {
            response = {500, ErrorBody(problem.what()), "application/json"};
        }
        Answer(response, keepAlive, version);
    }

    void Answer(const ControlResponse& answer, bool keepAlive, unsigned version, bool challenge = false)
    {
        auto response = std::make_shared<Response>(static_cast<http::status>(answer.status), version);
        response->set(http::field::server, "dulvet");
        response->set(http::field::content_type, answer.contentType);
        if (challenge)
            response->set(http::field::www_authenticate, "Bearer");
        response->body() = answer.body;
        response->keep_alive(keepAlive);
        response->prepare_payload();
        m_stream.expires_after(ControlServer::kPatience);
        http::async_write(m_stream, *response,
                          [self = shared_from_this(), response, keepAlive](beast::error_code error, std::size_t) {
                              if (error || !keepAlive)
                                  self->Close();
                              else
                                  self->Read();
                          });
    }

    void Close()
    {
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        m_stream.close();
    }

    beast::tcp_stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    ControlServer::Handler& m_handler;
    const std::string& m_token;
};

void Accept(ControlServer::State& state);

}  // namespace

ControlServer::ControlServer(Handler handler, std::string token) : m_state(std::make_shared<State>())
{
    m_state->handler = std::move(handler);
    m_state->token = std::move(token);
}

ControlServer::~ControlServer() { Stop(); }

namespace {

void Accept(ControlServer::State& state)
{
    state.acceptor->async_accept([&state](beast::error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted || !state.acceptor->is_open())
            return;
        if (!error)
            std::make_shared<Connection>(std::move(socket), state.handler, state.token)->Read();
        Accept(state);
    });
}

}  // namespace

bool ControlServer::Start(const std::string& address, unsigned port, std::string& error)
{
    try {
        const tcp::endpoint endpoint(asio::ip::make_address(address), static_cast<unsigned short>(port));
        m_state->acceptor.emplace(m_state->io);
        m_state->acceptor->open(endpoint.protocol());
        m_state->acceptor->set_option(asio::socket_base::reuse_address(true));
        m_state->acceptor->bind(endpoint);
        m_state->acceptor->listen();
    } catch (const std::exception& problem) {
        error = problem.what();
        m_state->acceptor.reset();
        return false;
    }
    Accept(*m_state);
    m_state->thread = std::thread([state = m_state] {
        try {
            state->io.run();
        } catch (const std::exception&) {
            // Nothing more is served; the relay runs on.
        }
    });
    return true;
}

unsigned ControlServer::Port() const
{
    beast::error_code error;
    return m_state->acceptor ? m_state->acceptor->local_endpoint(error).port() : 0;
}

void ControlServer::Stop()
{
    if (!m_state->thread.joinable())
        return;
    m_state->io.stop();
    m_state->thread.join();
    m_state->acceptor.reset();
}
