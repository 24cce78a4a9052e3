#pragma once

#include "platform/public_address_lookup.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <optional>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace vantor::platform::qt {

// One HTTP GET to a plain-text "what is my address" service. At most kMaxAnswerBytes of the
// answer are read; a longer answer, an error or no answer within the timeout gives nothing.
class QtPublicAddressLookup final : public QObject, public PublicAddressLookup {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxAnswerBytes = 64;
    static constexpr std::chrono::milliseconds kDefaultTimeout{4000};

    explicit QtPublicAddressLookup(QUrl service, std::chrono::milliseconds timeout = kDefaultTimeout,
                                   QObject* parent = nullptr);
    ~QtPublicAddressLookup() override;

    void start(Callback done) override;

    // The service to ask: the chosen one (the program passes VANTOR_PUBLIC_ADDRESS_URL) when
    // not empty, else a public plain-text service.
    [[nodiscard]] static QUrl serviceUrl(const QByteArray& chosen);

private:
    void readAvailable();
    void replyFinished();
    void finish(const std::optional<std::string>& address);

    QUrl m_service;
    QNetworkAccessManager* m_network = nullptr;  // owned by this (Qt parent)
    QPointer<QNetworkReply> m_reply;
    QTimer m_timeout;
    QByteArray m_answer;
    Callback m_done;
};

}  // namespace vantor::platform::qt
