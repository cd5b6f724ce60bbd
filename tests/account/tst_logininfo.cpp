#include "account/logininfo.h"

#include <QtTest>

class TestLoginInfo : public QObject
{
    Q_OBJECT
private slots:
    void clearKeepsOnlyTheTicket()
    {
        CLoginInfo& info = *CLoginInfo::instance();
        for (QString* field :
             {&info.authCode, &info.accessToken, &info.refreshToken, &info.validityTime, &info.accountId,
              &info.errorCode, &info.errorMsg, &info.phone, &info.account, &info.password, &info.name,
              &info.avatarUrl, &info.personJson, &info.printInfo}) {
            *field = "set";
        }
        info.ticket = "ST-1";
        info.photo = QImage(4, 4, QImage::Format_RGB32);
        info.companyNames = QStringList{"默认公司", "Other"};
        info.companyIds = {2, 1};

        info.clear();
        for (const QString* field :
             {&info.authCode, &info.accessToken, &info.refreshToken, &info.validityTime, &info.accountId,
              &info.errorCode, &info.errorMsg, &info.phone, &info.account, &info.password, &info.name,
              &info.avatarUrl, &info.personJson, &info.printInfo}) {
            QVERIFY(field->isEmpty());
        }
        QVERIFY(info.photo.isNull());
        QVERIFY(info.companyNames.isEmpty());
        QVERIFY(info.companyIds.isEmpty());
        QCOMPARE(info.ticket, QString("ST-1"));
    }
};

QTEST_GUILESS_MAIN(TestLoginInfo)
#include "tst_logininfo.moc"
