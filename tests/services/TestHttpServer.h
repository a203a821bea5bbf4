// A one-thread HTTP server on 127.0.0.1 for the update check's tests: it answers every request
// the same way, or misbehaves as a broken server would.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

class CTestHttpServer {
public:
    enum class Mode {
        Answer,             // status line, headers and body
        Silent,             // accepts and never answers
        HeadersThenSilent,  // sends the headers with a length, then nothing
        Trickle,            // sends the answer one byte every 200 ms
        CutShort,           // announces the body's length, sends half of it and closes
    };

    CTestHttpServer(Mode mode, std::string body, int status = 200)
        : m_mode(mode), m_body(std::move(body)), m_status(status) {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        m_listen = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(m_listen, 4);
        int length = sizeof(address);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ::ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CTestHttpServer() {
        m_stop = true;
        ::closesocket(m_listen);
        m_thread.join();
        ::WSACleanup();
    }
    CTestHttpServer(const CTestHttpServer&) = delete;
    CTestHttpServer& operator=(const CTestHttpServer&) = delete;

    int Port() const { return m_port; }
    int Requests() const { return m_requests; }
    std::string Url(const char* path = "/updates/varenglaze2_x64.txt") const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    // A port nothing listens on: bound, then released.
    static int RefusedPort() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        int length = sizeof(address);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
        ::closesocket(s);
        ::WSACleanup();
        return ::ntohs(address.sin_port);
    }

private:
    void Serve() {
        while (!m_stop) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(m_listen, &set);
            timeval wait = {0, 50000};
            if (::select(0, &set, nullptr, nullptr, &wait) <= 0) {
                continue;
            }
            SOCKET client = ::accept(m_listen, nullptr, nullptr);
            if (client == INVALID_SOCKET) {
                continue;
            }
            ReadRequest(client);
            ++m_requests;
            Respond(client);
            ::closesocket(client);
        }
    }
    static void ReadRequest(SOCKET client) {
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const int n = ::recv(client, buffer, sizeof(buffer), 0);
            if (n <= 0) {
                return;
            }
            request.append(buffer, static_cast<size_t>(n));
        }
    }
    void Respond(SOCKET client) {
        const std::string headers =
            "HTTP/1.1 " + std::to_string(m_status) + (m_status == 200 ? " OK" : " Not Found") +
            "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(m_body.size()) +
            "\r\nConnection: close\r\n\r\n";
        const std::string all = headers + m_body;
        switch (m_mode) {
            case Mode::Answer:
                ::send(client, all.data(), static_cast<int>(all.size()), 0);
                break;
            case Mode::Silent:
                Idle();
                break;
            case Mode::HeadersThenSilent:
                ::send(client, headers.data(), static_cast<int>(headers.size()), 0);
                Idle();
                break;
            case Mode::CutShort:
                ::send(client, all.data(), static_cast<int>(headers.size() + m_body.size() / 2), 0);
                break;
            case Mode::Trickle:
                ::send(client, headers.data(), static_cast<int>(headers.size()), 0);
                for (size_t i = 0; i < m_body.size() && !m_stop; ++i) {
                    if (::send(client, m_body.data() + i, 1, 0) <= 0) {
                        break;
                    }
                    ::Sleep(200);
                }
                break;
        }
    }
    // Holds the connection open until the server stops.
    void Idle() {
        while (!m_stop) {
            ::Sleep(20);
        }
    }

    Mode m_mode;
    std::string m_body;
    int m_status;
    SOCKET m_listen = INVALID_SOCKET;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_thread;
};
