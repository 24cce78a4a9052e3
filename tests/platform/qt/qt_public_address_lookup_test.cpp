#include "platform/qt/qt_public_address_lookup.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>

namespace vantor::platform::qt {
namespace {

using namespace std::chrono_literals;

QByteArray httpReply(const QByteArray& body, const QByteArray& status = "200 OK")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// Looks the address up at a server on 127.0.0.1 that answers
// every request with reply, or never answers when reply is empty; with no reply at all nothing
// listens there. Gives every answer the lookup reported, including any that came late.
std::vector<std::optional<std::string>> lookUpAt(const std::optional<QByteArray>& reply)
{
    static int argc = 1;
    static char name[] = "platform_qt_tests";
    static char* argv[] = {name, nullptr};
    static const auto* application = new QCoreApplication(argc, argv);  // never destroyed, as Qt wants at exit
    (void)application;
    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&reply, socket] {
                socket->readAll();
                if (reply->isEmpty()) return;
                socket->write(*reply);
                socket->disconnectFromHost();
            });
        }
    });
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/ip").arg(server.serverPort()));
    if (!reply) server.close();
    QtPublicAddressLookup lookup(QtPublicAddressLookup::serviceUrl(url.toEncoded()), 1s);
    std::vector<std::optional<std::string>> answers;
    QEventLoop loop;
    lookup.start([&](const std::optional<std::string>& address) {
        answers.push_back(address);
        QTimer::singleShot(100ms, &loop, &QEventLoop::quit);
    });
    QTimer::singleShot(10s, &loop, &QEventLoop::quit);
    loop.exec();
    return answers;
}

TEST(QtPublicAddressLookup, OnlyAGoodAnswerInTimeGivesTheAddress)
{
    struct Case {
        const char* what;
        std::optional<QByteArray> reply;
        std::optional<std::string> address;
    };
    const std::vector<Case> cases = {
        {"good answer", httpReply("198.51.100.23\n"), "198.51.100.23"},
        {"garbage", httpReply("<html>no address here</html>"), std::nullopt},
        {"oversized", httpReply("198.51.100.23" + QByteArray(100, ' ')), std::nullopt},
        {"server error", httpReply("198.51.100.23", "500 Internal Server Error"), std::nullopt},
        {"no answer within the timeout", QByteArray(), std::nullopt},
        {"nothing listening", std::nullopt, std::nullopt}};
    for (const Case& c : cases) EXPECT_EQ(lookUpAt(c.reply), std::vector{c.address}) << c.what;
}

}  // namespace
}  // namespace vantor::platform::qt
