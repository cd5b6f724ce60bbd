#include "core/corelog.h"
#include "core/logmanager.h"
#include "core/logtext.h"
#include "platform/platformlog.h"
#include "support/testenvironment.h"

#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <random>

namespace {
// Stands for standard error: the handler that was in place before the log's.
QStringList g_forwarded;

void captureForwarded(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_forwarded << message;
}
} // namespace

class TestLogManager : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        m_dir = dataDirectory();
        QVERIFY(m_dir.startsWith(TestEnvironment::root()));
        qInstallMessageHandler(&captureForwarded);
        CLogManager::install();
    }
    void cleanupTestCase() { qInstallMessageHandler(nullptr); }
    void init()
    {
        QDir(m_dir).removeRecursively();
        QDir().mkpath(m_dir);
    }

    void trimKeepsSevenNewestLogs_data()
    {
        QTest::addColumn<int>("logs");
        QTest::addColumn<QStringList>("others");
        QTest::newRow("7 logs") << 7 << QStringList();
        QTest::newRow("7 logs and other files") << 7 << QStringList{"vantelor.ini", "WeatherData.json"};
        QTest::newRow("8 logs") << 8 << QStringList();
        QTest::newRow("10 logs") << 10 << QStringList();
        QTest::newRow("10 logs, oldest files are not logs")
            << 10 << QStringList{"vantelor.ini", "WeatherData.json"};
        // Only the client's daily files are its own: a user's files that start
        // with "log" stay, however many and however old.
        QTest::newRow("10 logs and user files named log")
            << 10 << QStringList{"logbook-1.txt", "logbook-2.txt",          "logbook-3.txt",
                                 "log_notes.txt", "log_2020-01-01.txt.bak", "log_2020-1-1.txt"};
        QTest::newRow("user files named log only")
            << 0 << QStringList{"logbook-1.txt", "logbook-2.txt", "logbook-3.txt", "logbook-4.txt",
                                "logbook-5.txt", "logbook-6.txt", "logbook-7.txt", "logbook-8.txt"};
    }
    void trimKeepsSevenNewestLogs()
    {
        QFETCH(int, logs);
        QFETCH(QStringList, others);
        // Names sort differently from ages, so the listing order proves nothing.
        std::vector<int> ages(logs);
        std::iota(ages.begin(), ages.end(), 1);
        std::shuffle(ages.begin(), ages.end(), std::mt19937(42));
        const QDateTime now = QDateTime::currentDateTime();
        QStringList expectedKept = others;
        for (int i = 0; i < logs; ++i) {
            // One upper-case name: the prefix is compared without case.
            const QString date = QDate(2020, 1, 1).addDays(i).toString(Qt::ISODate);
            const QString name = QString(i == 0 ? "LOG_%1.txt" : "log_%1.txt").arg(date);
            touch(name, now.addDays(-ages[i]));
            if (ages[i] <= CLogManager::kKeptLogs) {
                expectedKept << name;
            }
        }
        for (const QString& other : others) {
            touch(other, now.addDays(-100));
        }

        CLogManager::instance().removeOldLogs();

        QStringList kept = QDir(m_dir).entryList(QDir::Files);
        kept.sort();
        expectedKept.sort();
        QCOMPARE(kept, expectedKept);
    }

    void secondStartAppendsAfterSeparator()
    {
        CLogManager::instance().openLogFile();
        qDebug() << "first run";
        CLogManager::instance().openLogFile();
        qDebug() << "second run";

        const QString expectedPath = m_dir + "/log_" + QDate::currentDate().toString("yyyy-MM-dd") + ".txt";
        QCOMPARE(CLogManager::instance().filePath(), expectedPath);
        const QString text = readLog();
        const QString separator = "\n\n\n********************************** \n";
        QCOMPARE(text.count(separator), 2);
        QVERIFY(text.indexOf("first run") < text.lastIndexOf(separator));
        QVERIFY(text.indexOf("second run") > text.lastIndexOf(separator));
        const QRegularExpression line(R"(^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}\] second run$)",
                                      QRegularExpression::MultilineOption);
        QVERIFY2(line.match(text).hasMatch(), qPrintable(text));
        QVERIFY(text.contains("] CLogManager log file name:" + expectedPath + "\n"));
    }

    void onlyDebugMessagesAreWrittenOthersGoOnMasked()
    {
        CLogManager::instance().openLogFile();
        g_forwarded.clear();
        qWarning() << "a warning";
        qInfo() << "an info";
        qCritical().noquote() << "a critical about http://h/x?SSO_TICKET=ST-0123456789abcdef";
        qDebug() << "a debug";
        const QString text = readLog();
        QVERIFY(text.contains("a debug"));
        QVERIFY(!text.contains("a warning"));
        QVERIFY(!text.contains("an info"));
        QVERIFY(!text.contains("a critical"));
        QCOMPARE(g_forwarded.size(), 3);
        QCOMPARE(g_forwarded.at(0), QString("a warning"));
        QCOMPARE(g_forwarded.at(1), QString("an info"));
        QCOMPARE(g_forwarded.at(2), QString::fromUtf8("a critical about http://h/x?SSO_TICKET=ST-0…(19)"));
    }

    // The rules are those a user sets in QT_LOGGING_RULES; setFilterRules reads the same text.
    void rulesSwitchOneFolderOff_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<bool>("coreLine");
        QTest::addColumn<bool>("platformLine");
        QTest::newRow("no rule") << QString() << true << true;
        QTest::newRow("platform off") << "vantelor.platform.debug=false" << true << false;
        QTest::newRow("core off") << "vantelor.core.debug=false" << false << true;
        QTest::newRow("all off but core")
            << "vantelor.*.debug=false\nvantelor.core.debug=true" << true << false;
    }
    void rulesSwitchOneFolderOff()
    {
        QFETCH(QString, rules);
        QFETCH(bool, coreLine);
        QFETCH(bool, platformLine);
        CLogManager::instance().openLogFile();
        QLoggingCategory::setFilterRules(rules);
        g_forwarded.clear();
        qCDebug(lcCore) << "a core line";
        qCDebug(lcPlatform) << "a platform line";
        qCWarning(lcPlatform) << "a platform warning";
        qDebug() << "an uncategorised line";
        QLoggingCategory::setFilterRules(QString());

        const QString text = readLog();
        QCOMPARE(text.contains("a core line"), coreLine);
        QCOMPARE(text.contains("a platform line"), platformLine);
        QVERIFY(text.contains("an uncategorised line"));
        // A rule on debug lines leaves the warnings alone.
        QCOMPARE(g_forwarded, QStringList{"a platform warning"});
        // The category never shows in the file: the lines look as they always did.
        const QRegularExpression line(
            R"(^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}\] (a core|a platform) line$)",
            QRegularExpression::MultilineOption);
        QCOMPARE(line.match(text).hasMatch(), coreLine || platformLine);
        QVERIFY(!text.contains("vantelor.core") && !text.contains("vantelor.platform"));
    }

    void secretsAreMaskedForTheLog_data()
    {
        QTest::addColumn<QString>("masked");
        QTest::addColumn<QString>("expected");
        const QUrl withTicket("http://127.0.0.1:1/pcweb/index?companyId=7&SSO_TICKET=ST-123456789&client=PC");
        const QByteArray printInfo =
            "{\"token\":\"abcdef123456\",\"printer\":{\"id\":\"p-0001-0002\"},\"copies\":2}";
        const QString freeText = "url ?SSO_TICKET=ST-123456789&a=1 {\"accessToken\":\"tok-9876543210\"}";
        QTest::newRow("secret") << LogText::masked("0123456789abcdef") << QString::fromUtf8("0123…(16)");
        QTest::newRow("short secret shows nothing")
            << LogText::masked("abcdefgh") << QString::fromUtf8("…(8)");
        QTest::newRow("ticket in an address")
            << LogText::maskedUrl(withTicket)
            << QString::fromUtf8("http://127.0.0.1:1/pcweb/index?companyId=7&SSO_TICKET=ST-1…(12)&client=PC");
        QTest::newRow("address without ticket")
            << LogText::maskedUrl(QUrl("http://127.0.0.1:1/client/index.htm"))
            << QString("http://127.0.0.1:1/client/index.htm");
        QTest::newRow("print information")
            << LogText::maskedJson(printInfo)
            << QString::fromUtf8("{\"copies\":2,\"printer\":{\"id\":\"p-00…(11)\"},\"token\":\"abcd…(12)\"}");
        QTest::newRow("not JSON") << LogText::maskedJson("ticket=ST-123456789")
                                  << QString::fromUtf8("tick…(19)");
        QTest::newRow("free text") << LogText::maskedInText(freeText)
                                   << QString::fromUtf8(
                                          "url ?SSO_TICKET=ST-1…(12)&a=1 {\"accessToken\":\"tok-…(14)\"}");
    }
    void secretsAreMaskedForTheLog()
    {
        QFETCH(QString, masked);
        QFETCH(QString, expected);
        QCOMPARE(masked, expected);
    }

    void outsideTextIsBoundedAndEscaped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const char binary[] = {'a', 0, 'b', 1, 0x7f};
        QTest::newRow("plain") << "activate --x"
                               << "activate --x";
        QTest::newRow("forged line") << "x\n[2026/01/01 00:00:00.000] forged\r\t"
                                     << "x\\n[2026/01/01 00:00:00.000] forged\\r\\t";
        QTest::newRow("binary") << QString::fromLatin1(binary, sizeof(binary)) << "a\\x00b\\x01\\x7f";
        QTest::newRow("flood") << QString(1000, 'x')
                               << QString(300, 'x') + QString::fromUtf8("…(+700 chars)");
    }
    void outsideTextIsBoundedAndEscaped()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(LogText::excerpt(text), expected);
    }

    void threadsLoseAndInterleaveNoLine()
    {
        CLogManager::instance().openLogFile();
        constexpr int kLines = 2000;
        auto writer = [](const QString& tag) {
            for (int i = 0; i < kLines; ++i) {
                qDebug().noquote() << QString("%1 line %2 with some padding text").arg(tag).arg(i);
            }
        };
        std::unique_ptr<QThread> a(QThread::create(writer, "A"));
        std::unique_ptr<QThread> b(QThread::create(writer, "B"));
        a->start();
        b->start();
        writer("M");
        QVERIFY(a->wait(30000));
        QVERIFY(b->wait(30000));

        const QStringList lines = readLog().split('\n', Qt::SkipEmptyParts);
        const QRegularExpression format(R"(^\[[^\]]+\] ([ABM]) line (\d+) with some padding text$)");
        QHash<QString, int> next;
        for (const QString& line : lines) {
            if (!line.contains(" line ")) {
                continue;
            }
            const auto match = format.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            QCOMPARE(match.captured(2).toInt(), next[match.captured(1)]++);
        }
        QCOMPARE(next.value("A"), kLines);
        QCOMPARE(next.value("B"), kLines);
        QCOMPARE(next.value("M"), kLines);
    }

private:
    void touch(const QString& name, const QDateTime& modified)
    {
        QFile file(m_dir + "/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.flush();
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    QString readLog()
    {
        QFile file(CLogManager::instance().filePath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QString m_dir;
};

QTEST_GUILESS_MAIN(TestLogManager)
#include "tst_logmanager.moc"
