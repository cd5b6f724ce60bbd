#include "shownlabeltext.h"
#include "support/testenvironment.h"
#include "ui/dialogsetting.h"
#include "ui/dialogtip.h"
#include "ui/userphoto.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// The tip that slides in and the personal-information dialog.
class TestDialogs : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private slots:
    void tipTimeIsClamped_data()
    {
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("shown");
        QTest::newRow("negative") << -5 << 1000;
        QTest::newRow("zero") << 0 << 1000;
        QTest::newRow("short") << 999 << 1000;
        QTest::newRow("lower bound") << 1000 << 1000;
        QTest::newRow("inside") << 10000 << 10000;
        QTest::newRow("upper bound") << 30000 << 30000;
        QTest::newRow("minute") << 60000 << 30000;
    }

    void tipTimeIsClamped()
    {
        QFETCH(int, asked);
        QFETCH(int, shown);
        DialogTip tip(QStringLiteral("提示"), nullptr, asked);
        QCOMPARE(tip.displayTime(), shown);
    }

    void tipWithZeroTimeStaysOneSecond()
    {
        QWidget parent;
        parent.resize(900, 600);
        parent.show();
        auto* tip = new DialogTip(QStringLiteral("已复制"), &parent, 0);
        tip->show();
        QSignalSpy accepted(tip, &QDialog::accepted);
        // Part-way through its time: it is still shown.
        QTest::qWait(700);
        QVERIFY(tip->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(accepted.count(), 1, 2000);
        QVERIFY(!tip->isVisible());
    }

    void tipSlidesDownFromAboveItsParent()
    {
        QWidget parent;
        parent.resize(900, 600);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        auto* tip = new DialogTip(QStringLiteral("已复制"), &parent, 5000);
        QCOMPARE(tip->size(), QSize(300, 35));
        QCOMPARE(tip->pos(), QPoint(300, -35));
        QCOMPARE(tip->parentWidget(), &parent);
        QVERIFY(!tip->isWindow());
        tip->show();
        // Part-way through the slide-in.
        QTest::qWait(200);
        QVERIFY(tip->y() > -35 && tip->y() < 10);
        QTRY_COMPARE_WITH_TIMEOUT(tip->pos(), QPoint(300, 10), 2000);
        QCOMPARE(tip->findChild<QLabel*>("tip_tip")->text(), QStringLiteral("已复制"));
    }

    void tipWithoutParentDoesNotSlide()
    {
        DialogTip tip(QStringLiteral("提示"), nullptr, 3000);
        QCOMPARE(tip.y(), 10);
        // A top-level tip does not slide: a margin in which it would.
        QTest::qWait(100);
        QCOMPARE(tip.y(), 10);
    }

    void settingsShowTheSignedOutState()
    {
        QWidget parent;
        parent.resize(900, 600);
        DialogSetting dialog(&parent);
        QCOMPARE(dialog.size(), QSize(430, 406));
        QCOMPARE(dialog.pos(), QPoint(235, 97));
        QCOMPARE(label(dialog, "useName_set")->text(), QStringLiteral("未登录"));
        QCOMPARE(dialog.findChild<QPushButton*>("btn_set_set")->text(), QStringLiteral("去登录"));
        QVERIFY(!label(dialog, "useCom_set")->isHidden());
        QVERIFY(label(dialog, "useCom_set")->text().isEmpty());
        QVERIFY(combo(dialog)->isHidden());
        auto* photo = dialog.findChild<CUserPhoto*>("userPhoto_set");
        QVERIFY(!photo->currentPhoto().isNull());
        QVERIFY(photo->mask().isEmpty());
        QVERIFY(photo->overlayLabel());
    }

    void oneCompanyIsALabel()
    {
        DialogSetting dialog;
        dialog.showInfo(info({"星河科技"}));
        QCOMPARE(label(dialog, "useName_set")->text(), QStringLiteral("张三"));
        QCOMPARE(label(dialog, "useCom_set")->text(), QStringLiteral("星河科技"));
        QVERIFY(!label(dialog, "useCom_set")->isHidden());
        QVERIFY(combo(dialog)->isHidden());
        QCOMPARE(dialog.findChild<QPushButton*>("btn_set_set")->text(), QStringLiteral("退出当前账号"));
    }

    // Names come from the service: shown as text, whatever markup they hold.
    void markupInNamesIsShownAsText()
    {
        DialogSetting dialog;
        DialogSetting::UserInfo user = info({outsideMarkup()});
        user.userName = outsideMarkup();
        dialog.showInfo(user);
        QCOMPARE(shownText(label(dialog, "useName_set")), outsideMarkup());
        QCOMPARE(shownText(label(dialog, "useCom_set")), outsideMarkup());
    }

    void severalCompaniesAreAWiderCentredChoice()
    {
        DialogSetting dialog;
        dialog.showInfo(info({"星河科技", "远山设计有限公司", "云端"}));
        QComboBox* box = combo(dialog);
        QVERIFY(label(dialog, "useCom_set")->isHidden());
        QVERIFY(!box->isHidden());
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->itemText(1), QStringLiteral("远山设计有限公司"));
        QCOMPARE(box->itemData(2, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        QCOMPARE(box->itemData(0, Qt::ForegroundRole).value<QColor>(), QColor(100, 100, 100));
        QVERIFY(box->lineEdit()->isReadOnly());
        const int firstWidth = box->width();
        QTRY_COMPARE(box->width(), qMin(firstWidth + 60, 430));
        QCOMPARE(box->x(), (430 - box->width()) / 2);
        QCOMPARE(box->y(), 230);
        QCOMPARE(box->height(), 30);
    }

    void signingOutClosesTheDialog()
    {
        QWidget parent;
        parent.resize(900, 600);
        parent.show();
        auto* dialog = new DialogSetting(&parent);
        dialog->showInfo(info({"星河科技"}));
        dialog->show();
        QSignalSpy finished(dialog, &QDialog::finished);
        QTest::mouseClick(dialog->findChild<QPushButton*>("btn_set_set"), Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QVERIFY(!dialog->isVisible());
    }

    void escapeClosesOtherKeysDoNothing()
    {
        QWidget parent;
        parent.resize(900, 600);
        parent.show();
        auto* dialog = new DialogSetting(&parent);
        dialog->show();
        QSignalSpy finished(dialog, &QDialog::finished);
        QTest::keyClick(dialog, Qt::Key_Return);
        QTest::keyClick(dialog, Qt::Key_A);
        QCOMPARE(finished.count(), 0);
        QVERIFY(dialog->isVisible());
        QTest::keyClick(dialog, Qt::Key_Escape);
        QCOMPARE(finished.count(), 1);
    }

private:
    static DialogSetting::UserInfo info(const QStringList& companies)
    {
        DialogSetting::UserInfo user;
        user.loggedIn = true;
        user.userName = QStringLiteral("张三");
        user.photo = QImage(QStringLiteral(":/wid/res/login/unLogin.png"));
        user.companyNames = companies;
        return user;
    }
    static QLabel* label(const QDialog& dialog, const char* name) { return dialog.findChild<QLabel*>(name); }
    static QComboBox* combo(const QDialog& dialog) { return dialog.findChild<QComboBox*>("cbx_coms"); }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
