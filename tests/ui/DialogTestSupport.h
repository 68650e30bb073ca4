#pragma once

#include "job/ServiceHosts.h"
#include "tests/http/LoopbackServer.h"
#include "tests/support/NoWaitServices.h"
#include "tests/ui/QtTestApp.h"
#include "ui/MessageBox.h"

#include <QStringList>

#include <curl/curl.h>

#include <clocale>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

// The bundled services with no waits, started once for the whole program,
// plus what every dialog test needs first: the application object, the
// network layer and the decimal point.
inline ServiceHosts TestServiceHosts()
{
    EnsureQApplication();
    std::setlocale(LC_NUMERIC, "C");
    static const bool networkStarted = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    (void)networkStarted;
    const std::string host = NoWaitServices().HostAndPort();
    return ServiceHosts{host, host, host};
}

// Records message boxes instead of showing them, for as long as it lives.
class MessageRecorder {
public:
    MessageRecorder()
    {
        SetMessageBoxHook([this](QMessageBox::Icon icon, const QString&, const QString& text) {
            messages << text;
            icons << icon;
        });
    }
    ~MessageRecorder() { SetMessageBoxHook({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QStringList messages;
    QList<QMessageBox::Icon> icons;  // one per message
};

// A server that holds every request until Release(), then answers it with
// `status` and `body`. Lets a test look at the window while a request runs.
class HeldServer {
public:
    HeldServer()
        : server_([this](HttpTestConnection& connection) {
            std::unique_lock lock(mutex_);
            ++requests_;
            arrived_.notify_all();
            released_.wait(lock, [this] { return release_; });
            const int status = status_;
            const std::string body = body_;
            lock.unlock();
            connection.Reply(status, "Content-Type: text/html\r\n", body);
        })
    {
    }
    ~HeldServer() { Release(500, ""); }

    std::string Host() const { return "127.0.0.1:" + std::to_string(server_.Port()); }

    void Release(int status, const std::string& body)
    {
        std::lock_guard lock(mutex_);
        release_ = true;
        status_ = status;
        body_ = body;
        released_.notify_all();
    }

    int Requests() const
    {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::condition_variable released_;
    bool release_ = false;
    int status_ = 500;
    std::string body_;
    int requests_ = 0;
    LoopbackServer server_;  // last, so it stops before the state above goes
};
