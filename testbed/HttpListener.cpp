#include <winsock2.h>

#include "testbed/HttpListener.h"

static_assert(sizeof(SOCKET) == sizeof(HttpListener::Socket), "SOCKET width");

namespace {

const char AnswerText[] = "HTTP/1.1 200 OK\r\n"
                          "Content-Type: text/plain\r\n"
                          "Content-Length: 2\r\n"
                          "Cache-Control: no-cache\r\n"
                          "Connection: close\r\n"
                          "\r\n"
                          "ok";

const size_t MaxRequestHead = 16384;
const DWORD MaxHeadWaitMs = 10000;

void SendAll(SOCKET connection, const char* data, int size) {
    while (size > 0) {
        int sent = send(connection, data, size, 0);
        if (sent <= 0) return;
        data += sent;
        size -= sent;
    }
}

// Sends what is left, then closes gracefully so the client reads the whole answer.
void CloseConnection(SOCKET connection) {
    shutdown(connection, SD_SEND);
    char rest[256];
    timeval wait = {1, 0};
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(connection, &readable);
    if (select(0, &readable, nullptr, nullptr, &wait) > 0) recv(connection, rest, sizeof(rest), 0);
    closesocket(connection);
}

} // namespace

HttpListener::HttpListener(USHORT port, Mode mode, DWORD delayMs)
    : port_(port), mode_(mode), delayMs_(delayMs) {
    InitializeCriticalSection(&lock_);
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WSADATA data;
    winsockStarted_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

HttpListener::~HttpListener() {
    Stop();
    if (winsockStarted_) WSACleanup();
    if (stopEvent_) CloseHandle(stopEvent_);
    DeleteCriticalSection(&lock_);
}

bool HttpListener::Start() {
    if (!winsockStarted_ || !stopEvent_ || thread_) return false;
    if (mode_ == Mode::Refuse) return true;

    listening_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listening_ == INVALID_SOCKET) return false;
    // Connections of an earlier listener on the same port may still linger in TIME_WAIT.
    BOOL reuse = TRUE;
    setsockopt(listening_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
               sizeof(reuse));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listening_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listening_, SOMAXCONN) != 0) {
        closesocket(listening_);
        listening_ = INVALID_SOCKET;
        return false;
    }
    ResetEvent(stopEvent_);
    thread_ = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    if (!thread_) {
        closesocket(listening_);
        listening_ = INVALID_SOCKET;
        return false;
    }
    return true;
}

void HttpListener::Stop() {
    if (!thread_) return;
    SetEvent(stopEvent_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
    closesocket(listening_);
    listening_ = INVALID_SOCKET;
    EnterCriticalSection(&lock_);
    for (SOCKET connection : held_)
        closesocket(connection);
    held_.clear();
    LeaveCriticalSection(&lock_);
}

std::vector<std::string> HttpListener::RequestLines() const {
    EnterCriticalSection(&lock_);
    std::vector<std::string> lines = requestLines_;
    LeaveCriticalSection(&lock_);
    return lines;
}

size_t HttpListener::RequestCount() const {
    return RequestLines().size();
}

size_t HttpListener::ConnectionCount() const {
    EnterCriticalSection(&lock_);
    size_t count = connections_;
    LeaveCriticalSection(&lock_);
    return count;
}

bool HttpListener::WaitForRequests(size_t count, DWORD timeoutMs) const {
    DWORD start = GetTickCount();
    for (;;) {
        if (RequestCount() >= count) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

DWORD WINAPI HttpListener::ThreadProc(void* self) {
    static_cast<HttpListener*>(self)->Run();
    return 0;
}

// Waits for connections in slices so that a stop request is seen within a fraction of a second.
void HttpListener::Run() {
    while (WaitForSingleObject(stopEvent_, 0) == WAIT_TIMEOUT) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listening_, &readable);
        timeval wait = {0, 50000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET connection = accept(listening_, nullptr, nullptr);
        if (connection == INVALID_SOCKET) continue;
        EnterCriticalSection(&lock_);
        ++connections_;
        LeaveCriticalSection(&lock_);
        Serve(connection);
    }
}

void HttpListener::Serve(Socket connection) {
    std::string head;
    if (!ReadRequestHead(connection, &head)) {
        closesocket(connection);
        return;
    }
    size_t end = head.find("\r\n");
    EnterCriticalSection(&lock_);
    requestLines_.push_back(head.substr(0, end));
    LeaveCriticalSection(&lock_);

    switch (mode_) {
    case Mode::Hold:
        EnterCriticalSection(&lock_);
        held_.push_back(connection);
        LeaveCriticalSection(&lock_);
        return;
    case Mode::Slow:
        if (WaitForSingleObject(stopEvent_, delayMs_) == WAIT_OBJECT_0) {
            closesocket(connection);
            return;
        }
        break;
    default:
        break;
    }
    SendAll(connection, AnswerText, sizeof(AnswerText) - 1);
    CloseConnection(connection);
}

// Reads up to the blank line that ends the request head; false when the client went away,
// the head grew too long or the listener is stopping.
bool HttpListener::ReadRequestHead(Socket connection, std::string* head) {
    char buffer[1024];
    // A client that connects and sends nothing must not keep later requests waiting.
    DWORD start = GetTickCount();
    while (head->find("\r\n\r\n") == std::string::npos) {
        if (head->size() > MaxRequestHead || GetTickCount() - start > MaxHeadWaitMs) return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(connection, &readable);
        timeval wait = {0, 100000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0) return false;
        if (ready <= 0) continue;
        int received = recv(connection, buffer, sizeof(buffer), 0);
        if (received <= 0) return false;
        head->append(buffer, received);
    }
    return true;
}
