#include "platform/qt/qt_public_address_lookup.h"

#include "text/strings.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace vantor::platform::qt {

QtPublicAddressLookup::QtPublicAddressLookup(QUrl service, std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent), m_service(std::move(service)), m_network(new QNetworkAccessManager(this))
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(timeout);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(std::nullopt); });
}

QtPublicAddressLookup::~QtPublicAddressLookup()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

QUrl QtPublicAddressLookup::serviceUrl(const QByteArray& chosen)
{
    if (!chosen.isEmpty()) return QUrl(QString::fromUtf8(chosen));
    return QUrl(QStringLiteral("https://api.ipify.org"));
}

void QtPublicAddressLookup::start(Callback done)
{
    m_done = std::move(done);
    m_answer.clear();
    if (!m_service.isValid() || m_service.isEmpty()) {
        // Still report from the event loop, as a network answer would.
        QTimer::singleShot(0, this, [this] { finish(std::nullopt); });
        return;
    }
    QNetworkRequest request(m_service);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantor"));
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &QtPublicAddressLookup::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &QtPublicAddressLookup::replyFinished);
    m_timeout.start();
}

void QtPublicAddressLookup::readAvailable()
{
    if (!m_reply) return;
    // One byte more than allowed tells an oversized answer from a full one.
    m_answer += m_reply->read(kMaxAnswerBytes + 1 - m_answer.size());
    if (m_answer.size() > kMaxAnswerBytes) finish(std::nullopt);
}

void QtPublicAddressLookup::replyFinished()
{
    if (!m_reply) return;
    if (m_reply->error() != QNetworkReply::NoError) {
        finish(std::nullopt);
        return;
    }
    readAvailable();
    if (!m_reply) return;
    finish(text::parseDottedIpv4(std::string_view(m_answer.constData(), static_cast<std::size_t>(m_answer.size()))));
}

void QtPublicAddressLookup::finish(const std::optional<std::string>& address)
{
    m_timeout.stop();
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (!m_done) return;
    Callback done = std::exchange(m_done, nullptr);
    done(address);
}

}  // namespace vantor::platform::qt
