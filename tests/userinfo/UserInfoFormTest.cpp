#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "library/WordDatabase.h"
#include "text/GbkCodec.h"
#include "userinfo/UserInfoForm.h"

namespace {

using Form = UserInfoForm;

QByteArray g(const char* text) { return gbk(QString::fromUtf8(text)); }

TEST(UserInfoFormTest, AnAtInsideAChineseCharacterIsNoAt) {
    // 丂 is the GBK pair 81 40: its second byte is "@".
    ASSERT_EQ(g("丂"), QByteArray("\x81\x40"));
    EXPECT_FALSE(Form::mailSettingsFor(g("丂x")));
    const auto settings = Form::mailSettingsFor(g("丂@邮件.cn"));
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->user, g("丂"));
    EXPECT_EQ(settings->server, g("smtp.邮件.cn"));
}

class UserInfoFormStoreTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    WordDatabase db;

    void SetUp() override {
        ASSERT_NE(db.open(dir.filePath(QStringLiteral("jdck.mdb"))),
                  WordDatabase::OpenResult::Failed);
    }
};

TEST_F(UserInfoFormStoreTest, SavingKeepsTheRecordsDatesAndOtherComputers) {
    UserInfo mine;
    mine.pmachine = "42";
    mine.puser = "old";
    mine.pupdate = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
    mine.pdwdate = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5));
    mine.pzdgx = true;
    UserInfo other;
    other.pmachine = "43";
    other.puser = "someone else";
    ASSERT_TRUE(db.createUserInfo(mine));
    ASSERT_TRUE(db.createUserInfo(other));

    const Form::Values values = {"new", "n@x.cn", "", "", "", "http://team:8642"};
    ASSERT_TRUE(Form::save(db, "42", values, "http://built.in"));
    UserInfo expected = mine;
    expected.puser = "new";
    expected.pemail = "n@x.cn";
    EXPECT_EQ(db.userInfo("42"), expected);
    EXPECT_EQ(db.userInfo("43"), other);
    EXPECT_EQ(Form::load(db, "42", "http://built.in"), values);
    EXPECT_EQ(Form::load(db, "43", "http://built.in")[Form::ServerAddress], "http://built.in");
}

}  // namespace
