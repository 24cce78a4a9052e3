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

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "platform_qt_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);  // never destroyed, as Qt wants at exit
    return *app;
}

struct ParseCase {
    const char* answer;
    std::optional<std::string> address;
    friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << c.answer << '"'; }
};

class DottedIpv4 : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DottedIpv4, AcceptsOnlyFourNumbersUpTo255)
{
    EXPECT_EQ(parseDottedIpv4(GetParam().answer), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(Answers, DottedIpv4, ::testing::Values(
    ParseCase{"203.0.113.7", "203.0.113.7"},
    ParseCase{" 203.0.113.7\r\n", "203.0.113.7"},
    ParseCase{"0.0.0.0", "0.0.0.0"},
    ParseCase{"255.255.255.255", "255.255.255.255"},
    ParseCase{"256.1.1.1", std::nullopt},
    ParseCase{"1.2.3", std::nullopt},
    ParseCase{"1.2.3.4.5", std::nullopt},
    ParseCase{"1.2.3.4 ", "1.2.3.4"},
    ParseCase{"1.2.3.4x", std::nullopt},
    ParseCase{"1..3.4", std::nullopt},
    ParseCase{"01.2.3.4", std::nullopt},
    ParseCase{"1234.2.3.4", std::nullopt},
    ParseCase{"-1.2.3.4", std::nullopt},
    ParseCase{"1.2.3.4\n5", std::nullopt},
    ParseCase{"<html>1.2.3.4</html>", std::nullopt},
    ParseCase{"::1", std::nullopt},
    ParseCase{"", std::nullopt}));

// A one-shot HTTP server on 127.0.0.1 that answers every request with a fixed reply,
// or never answers when the reply is empty.
class LocalServer {
public:
    explicit LocalServer(QByteArray reply) : m_reply(std::move(reply))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    if (m_reply.isEmpty()) return;
                    socket->write(m_reply);
                    socket->disconnectFromHost();
                });
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    [[nodiscard]] QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(m_server.serverPort()));
    }

private:
    QTcpServer m_server;
    QByteArray m_reply;
};

QByteArray httpReply(const QByteArray& body, const QByteArray& status = "200 OK")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

struct LookupResult {
    bool called = false;
    int calls = 0;
    std::optional<std::string> address;
};

LookupResult lookUp(const QUrl& url, std::chrono::milliseconds timeout)
{
    application();
    QtPublicAddressLookup lookup(url, timeout);
    LookupResult result;
    QEventLoop loop;
    lookup.start([&](const std::optional<std::string>& address) {
        result.called = true;
        ++result.calls;
        result.address = address;
        loop.quit();
    });
    QTimer::singleShot(10s, &loop, &QEventLoop::quit);
    loop.exec();
    // Let late network events arrive: the callback must not run a second time.
    QEventLoop settle;
    QTimer::singleShot(100ms, &settle, &QEventLoop::quit);
    settle.exec();
    return result;
}

TEST(QtPublicAddressLookup, GoodAnswerGivesTheAddress)
{
    application();
    LocalServer server(httpReply("198.51.100.23\n"));
    const auto result = lookUp(server.url(), 3s);
    ASSERT_TRUE(result.called);
    EXPECT_EQ(result.calls, 1);
    EXPECT_EQ(result.address, "198.51.100.23");
}

TEST(QtPublicAddressLookup, UnusableAnswersGiveNothing)
{
    application();
    const QByteArray oversized = "198.51.100.23" + QByteArray(100, ' ');
    for (const QByteArray& reply : {httpReply("<html>no address here</html>"), httpReply(oversized),
                                    httpReply("198.51.100.23", "500 Internal Server Error")}) {
        LocalServer server(reply);
        const auto result = lookUp(server.url(), 3s);
        ASSERT_TRUE(result.called) << reply.constData();
        EXPECT_EQ(result.calls, 1);
        EXPECT_EQ(result.address, std::nullopt) << reply.constData();
    }
}

TEST(QtPublicAddressLookup, SilentServerTimesOut)
{
    application();
    LocalServer server{QByteArray()};
    const auto started = std::chrono::steady_clock::now();
    const auto result = lookUp(server.url(), 300ms);
    ASSERT_TRUE(result.called);
    EXPECT_EQ(result.address, std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST(QtPublicAddressLookup, NothingListeningGivesNothing)
{
    application();
    QUrl url;
    {
        LocalServer closed(httpReply("1.2.3.4"));
        url = closed.url();
    }
    const auto result = lookUp(url, 3s);
    ASSERT_TRUE(result.called);
    EXPECT_EQ(result.address, std::nullopt);
}

TEST(QtPublicAddressLookup, EnvironmentOverridesTheService)
{
    qputenv("VANTOR_PUBLIC_ADDRESS_URL", "http://127.0.0.1:9/where");
    EXPECT_EQ(QtPublicAddressLookup::serviceUrl(), QUrl(QStringLiteral("http://127.0.0.1:9/where")));
    qunsetenv("VANTOR_PUBLIC_ADDRESS_URL");
    EXPECT_EQ(QtPublicAddressLookup::serviceUrl().scheme(), QStringLiteral("https"));
}

}  // namespace
}  // namespace vantor::platform::qt
