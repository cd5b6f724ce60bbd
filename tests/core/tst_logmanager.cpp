#include "core/logmanager.h"
#include "core/startup.h"
#include "support/testenvironment.h"

#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <random>

class TestLogManager : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        TestEnvironment::isolate();
        setApplicationIdentity();
    }

private slots:
    void initTestCase()
    {
        m_dir = dataDirectory();
        QVERIFY(m_dir.startsWith(TestEnvironment::root()));
        qInstallMessageHandler(&CLogManager::messageHandler);
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
        QTest::newRow("10 logs, oldest files are not logs") << 10 << QStringList{"vantelor.ini", "WeatherData.json"};
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
            const QString name = QString(i == 0 ? "LOG_%1.txt" : "log_%1.txt").arg(i);
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

    void onlyDebugMessagesAreWritten()
    {
        CLogManager::instance().openLogFile();
        qWarning() << "a warning";
        qInfo() << "an info";
        qCritical() << "a critical";
        qDebug() << "a debug";
        const QString text = readLog();
        QVERIFY(text.contains("a debug"));
        QVERIFY(!text.contains("a warning"));
        QVERIFY(!text.contains("an info"));
        QVERIFY(!text.contains("a critical"));
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

QTEST_MAIN(TestLogManager)
#include "tst_logmanager.moc"
