// An HTTP server on 127.0.0.1 inside the test process, on a thread of its own: it records the
// request line of every request it receives and answers in the way a test asks for.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

class HttpListener {
public:
    // A Winsock SOCKET; kept as its integer type so that users need not include Winsock.
    using Socket = UINT_PTR;

    enum class Mode {
        Answer, // 200 with a small body at once
        Slow,   // 200 with a small body after the delay
        Hold,   // accept, read the request and never answer until stopped
        Refuse, // do not listen at all: connections are refused
    };

    HttpListener(USHORT port, Mode mode, DWORD delayMs = 0);
    ~HttpListener();
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    // Listening (or, for Refuse, having made sure nothing of ours listens). False when the
    // port could not be bound.
    bool Start();
    // Closes every connection and the listening socket and joins the thread.
    void Stop();

    std::vector<std::string> RequestLines() const;
    size_t RequestCount() const;
    // Polls the record until it holds at least count requests or timeoutMs has passed.
    bool WaitForRequests(size_t count, DWORD timeoutMs) const;
    // Connections accepted so far, answered or not.
    size_t ConnectionCount() const;

private:
    static DWORD WINAPI ThreadProc(void* self);
    void Run();
    void Serve(Socket connection);
    bool ReadRequestHead(Socket connection, std::string* head);

    USHORT port_;
    Mode mode_;
    DWORD delayMs_;
    bool winsockStarted_ = false;
    Socket listening_ = ~Socket(0);
    HANDLE thread_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    mutable CRITICAL_SECTION lock_;
    std::vector<std::string> requestLines_;
    std::vector<Socket> held_;
    size_t connections_ = 0;
};
