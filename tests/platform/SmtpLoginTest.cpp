#include <gtest/gtest.h>

#include "platform/SmtpLogin.h"
#include "support/SmtpPeer.h"

namespace {

SmtpAccount account(int port, QByteArray user = "alice", QByteArray password = "s3cret") {
    return {"127.0.0.1", port, std::move(user), std::move(password), 3000};
}

TEST(SmtpLoginTest, OnlyTheAccountsOwnCredentialsLogIn) {
    SmtpPeer peer;
    EXPECT_TRUE(SmtpLogin::check(account(peer.port())));
    // The connection ends with a goodbye, not a dropped socket.
    EXPECT_TRUE(peer.events(QStringLiteral("quit")).contains(QStringLiteral("quit")));

    EXPECT_FALSE(SmtpLogin::check(account(peer.port(), "alice", "s3cre")));
    EXPECT_FALSE(SmtpLogin::check(account(peer.port(), "bob", "s3cret")));
    const QStringList seen = peer.events(QStringLiteral("auth failed bob"));
    EXPECT_EQ(seen.filter(QStringLiteral("auth ")),
              QStringList({"auth ok alice", "auth failed alice", "auth failed bob"}));
}

TEST(SmtpLoginTest, AServerWithoutAuthenticationIsAFailure) {
    // curl itself skips AUTH when it is not offered and calls that a success.
    SmtpPeer peer({.noAuth = true});
    EXPECT_FALSE(SmtpLogin::check(account(peer.port())));
    const QStringList seen = peer.events(QStringLiteral("quit"));
    EXPECT_TRUE(seen.contains(QStringLiteral("quit")));
    EXPECT_TRUE(seen.filter(QStringLiteral("auth")).isEmpty());
}

TEST(SmtpLoginTest, TheServerTextNamesAHostAndNothingElse) {
    SmtpPeer peer;
    // Pasted into a URL, these would log in to 127.0.0.1 after all.
    for (const char* server : {"evil@127.0.0.1", "127.0.0.1/evil", "127.0.0.1:1"}) {
        SmtpAccount odd = account(peer.port());
        odd.server = server;
        EXPECT_FALSE(SmtpLogin::check(odd)) << server;
    }
    EXPECT_TRUE(peer.events().filter(QStringLiteral("auth")).isEmpty());
}

TEST(SmtpLoginTest, StartTlsIsUsedWhenOfferedAndItsCertificateChecked) {
    SmtpPeer peer({.tls = true});
    // The peer's certificate is in no system store: the password is never sent.
    EXPECT_FALSE(SmtpLogin::check(account(peer.port())));
    EXPECT_TRUE(peer.events().filter(QStringLiteral("auth")).isEmpty());

    // Trusted, the login goes through, and the peer takes AUTH only under TLS.
    EXPECT_TRUE(SmtpLogin::check(account(peer.port()), SmtpPeer::certificatePath()));
    EXPECT_FALSE(
        SmtpLogin::check(account(peer.port(), "alice", "wrong"), SmtpPeer::certificatePath()));
    EXPECT_EQ(peer.events(QStringLiteral("auth failed alice")).filter(QStringLiteral("auth ")),
              QStringList({"auth ok alice", "auth failed alice"}));
}

// The check's notice warns when the password went in clear, so whether the
// login was encrypted must be what really happened on the wire.
TEST(SmtpLoginTest, TheResultSaysWhetherThePasswordWentInClear) {
    SmtpPeer plain;
    SmtpPeer tls({.tls = true});
    const struct {
        SmtpPeer& peer;
        QByteArray caFile;
        bool encrypted;
    } rows[] = {{plain, {}, false},
                {plain, SmtpPeer::certificatePath(), false},
                {tls, SmtpPeer::certificatePath(), true}};
    for (const auto& row : rows) {
        const SmtpLogin::Result result = SmtpLogin::login(account(row.peer.port()), row.caFile);
        EXPECT_TRUE(result.loggedIn) << row.encrypted;
        EXPECT_EQ(result.encrypted, row.encrypted);
    }
    EXPECT_EQ(plain.events(QStringLiteral("auth ok alice")).filter(QStringLiteral("auth ")),
              QStringList({"auth ok alice", "auth ok alice"}));
}

}  // namespace
