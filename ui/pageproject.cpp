#include "ui/pageproject.h"

#include "core/serviceerrors.h"
#include "projection/projectionmanager.h"
#include "projection/sharewrapper.h"
#include "ui/actionbutton.h"
#include "ui/screenscale.h"
#include "ui/stylesheet.h"

#include <QDebug>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {
const char kAddStyle[] = "QPushButton{background-image: url(:/wid/res/project/add.png)}";
const char kMinusStyle[] = "QPushButton{background-image: url(:/wid/res/project/minus.png)}";
} // namespace

PageProject::PageProject(QWidget* parent) : QWidget(parent)
{
    buildForm();
    setupFields();
    loadStyleSheet();
    connectSignals();
    singleMode = true;
    setupUI();
}

void PageProject::buildForm()
{
    setObjectName(QStringLiteral("PageProject"));
    // The page's background image comes from the style sheet.
    setAttribute(Qt::WA_StyledBackground);
    resize(820, 540);
    setMinimumSize(820, 540);
    setWindowTitle(QStringLiteral("Form"));

    pageProjectHLayout = new QHBoxLayout(this);
    pageProjectHLayout->setObjectName(QStringLiteral("pageProjectHLayout"));
    verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    pageProjectHLayout->addStretch();
    pageProjectHLayout->addLayout(verticalLayout);
    pageProjectHLayout->addStretch();

    frame_project = new QFrame(this);
    frame_project->setObjectName(QStringLiteral("frame_project"));
    frame_project->setMinimumSize(530, 380);
    frame_project->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    frame_project->setFrameShape(QFrame::NoFrame);
    verticalLayout->addStretch();
    verticalLayout->addWidget(frame_project);
    verticalLayout->addStretch();

    QFont fieldFont(QStringLiteral("微软雅黑"), 12);

    label_title = new QLabel(frame_project);
    label_title->setObjectName(QStringLiteral("label_title"));
    label_title->setGeometry(0, 0, 120, 45);

    auto codeField = [&](const char* name, int y) {
        auto* edit = new QLineEdit(frame_project);
        edit->setObjectName(QLatin1String(name));
        edit->setGeometry(0, y, 460, 42);
        edit->setMaxLength(5);
        edit->setFrame(false);
        edit->setFont(fieldFont);
        edit->setFocusPolicy(Qt::StrongFocus);
        edit->setPlaceholderText(tr("请输入投屏码"));
        return edit;
    };
    auto roundButton = [&](const char* name, int y) {
        auto* button = new QPushButton(frame_project);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(421, y, 40, 40);
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setAutoDefault(false);
        return button;
    };

    edit_code1 = codeField("edit_code1", 70);
    btn_add = roundButton("btn_add", 71);
    btn_add->setFocusPolicy(Qt::StrongFocus);
    edit_code2 = codeField("edit_code2", 130);
    btn_minus = roundButton("btn_minus", 131);

    btn_start = new QPushButton(tr("开始投屏"), frame_project);
    btn_start->setObjectName(QStringLiteral("btn_start"));
    btn_start->setGeometry(0, 190, 160, 42);
    btn_start->setFont(QFont(QStringLiteral("微软雅黑"), 14));
    btn_start->setFocusPolicy(Qt::StrongFocus);
    btn_start->setAutoDefault(false);

    tip_pro = new QLabel(frame_project);
    tip_pro->setObjectName(QStringLiteral("tip_pro"));
    tip_pro->setGeometry(0, 250, 460, 25);
    // Carries the conference program's messages: plain text, never markup.
    tip_pro->setTextFormat(Qt::PlainText);

    tip2_pro = new QLabel(frame_project);
    tip2_pro->setObjectName(QStringLiteral("tip2_pro"));
    tip2_pro->setGeometry(0, 270, 530, 120);
}

void PageProject::setupFields()
{
    // Receiver codes are plain letters and digits: no input method in between.
    const QRegularExpression code(QStringLiteral("^[A-Za-z0-9]{4,5}$"));
    for (QLineEdit* edit : {edit_code1, edit_code2}) {
        edit->setTextMargins(10, 0, 0, 0);
        edit->setValidator(new QRegularExpressionValidator(code, edit));
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
        edit->installEventFilter(this);
    }
    btn_start->installEventFilter(this);

    QFont font = btn_start->font();
    font.setLetterSpacing(QFont::PercentageSpacing, 110);
    font.setPointSize(fontPointSize(3));
    btn_start->setFont(font);
    font.setPointSize(fontPointSize(2));
    edit_code1->setFont(font);
    edit_code2->setFont(font);
    tip_pro->setFont(font);

    edit_code1->setFocus();
}

void PageProject::loadStyleSheet()
{
    applyStyleSheet(QStringLiteral("wid_pageproject"), {this}, "Can't open the qss file of pageproject.");
}

void PageProject::connectSignals()
{
    connect(edit_code1, &QLineEdit::textChanged, this, &PageProject::setupReady);
    connect(edit_code2, &QLineEdit::textChanged, this, &PageProject::setupReady);
    connect(btn_start, &QPushButton::clicked, this, &PageProject::onBtnClicked);
    connect(btn_add, &QPushButton::clicked, this, &PageProject::switchToDouble);
    connect(btn_minus, &QPushButton::clicked, this, &PageProject::switchToSingle);

    CShareWrapper* router = CShareWrapper::instance().get();
    connect(router, &CShareWrapper::shareStarted, this, &PageProject::onShareStarted);
    connect(router, &CShareWrapper::shareStoped, this, &PageProject::onShareStoped);
    connect(router, &CShareWrapper::shareError, this, &PageProject::onShareError);
}

void PageProject::setupUI()
{
    const bool sharing = CShareWrapper::instance()->isSharing();
    for (QWidget* widget : {static_cast<QWidget*>(edit_code1), static_cast<QWidget*>(edit_code2),
                            static_cast<QWidget*>(btn_add), static_cast<QWidget*>(btn_minus)}) {
        widget->setEnabled(!sharing);
    }
    if (sharing) {
        btn_start->setText(tr("停止投屏"));
    } else {
        btn_start->setText(tr("开始投屏"));
        // Share events also arrive while another page is shown; taking the
        // focus then would send the user's typing into this hidden field.
        if (isVisible()) {
            edit_code1->setFocus();
            edit_code1->deselect();
        }
    }

    if (singleMode) {
        edit_code2->hide();
        btn_minus->hide();
        btn_start->move(0, 130);
        tip_pro->move(0, 190);
        tip2_pro->move(0, 210);
        btn_add->setStyleSheet(QLatin1String(kAddStyle));
    } else {
        edit_code2->show();
        btn_minus->show();
        btn_start->move(0, 190);
        tip_pro->move(0, 250);
        tip2_pro->move(0, 270);
        btn_add->setStyleSheet(QLatin1String(kMinusStyle));
    }
    setupReady();
}

void PageProject::setupReady()
{
    tip_pro->clear();
    tip2_pro->hide();
    const int first = edit_code1->text().size();
    const bool valid =
        singleMode ? (first == 4 || first == 5) : (first >= 4 && edit_code2->text().size() >= 4);
    enableBtn(valid);
}

void PageProject::enableBtn(bool bEnable)
{
    setActionButtonEnabled(btn_start, bEnable);
}

void PageProject::leaveDualMode()
{
    singleMode = true;
    if (edit_code1->text().isEmpty()) {
        edit_code1->setText(edit_code2->text());
        edit_code2->clear();
    }
}

void PageProject::switchToDouble()
{
    if (singleMode) {
        singleMode = false;
    } else {
        leaveDualMode();
    }
    setupUI();
}

void PageProject::switchToSingle()
{
    if (singleMode) {
        return;
    }
    leaveDualMode();
    setupUI();
}

void PageProject::onBtnClicked()
{
    enableBtn(false);
    if (CShareWrapper::instance()->isSharing()) {
        CShareWrapper::instance()->stop();
    } else {
        onStartProjection();
    }
}

void PageProject::onStartProjection()
{
    QStringList codes;
    const QString first = edit_code1->text().toUpper();
    if (singleMode) {
        codes << first;
    } else {
        const QString second = edit_code2->text().toUpper();
        if (first == second) {
            codes << first;
        } else if (first.size() == 4 && second.size() == 4) {
            tip_pro->setText(tr("双屏投屏至少需要有一个5位投屏码"));
            tip_pro->show();
            return;
        } else {
            codes << first << second;
        }
    }

    btn_start->setText(tr("正在连接..."));
    tip2_pro->hide();
    tip_pro->hide();
    CShareWrapper& router = *CShareWrapper::instance();
    if (!router.start(codes)) {
        QString message = router.lastError();
        if (message.isEmpty()) {
            message = tr("未知原因导致无法启动投屏");
        }
        onShareError(QString(), message);
    }
}

void PageProject::onStopProjection()
{
    CShareWrapper::instance()->stop();
}

void PageProject::onShareStarted()
{
    setupUI();
    if (isVisible()) {
        btn_start->setFocus();
    }
}

void PageProject::onShareStoped()
{
    setupUI();
}

void PageProject::onShareError(QString errCode, QString errMsg)
{
    setupUI();
    if (errCode == QLatin1String(ServiceErrors::kProjectionNotReached)) {
        tip2_pro->show();
        tip_pro->hide();
        return;
    }
    if (errMsg.isEmpty()) {
        errMsg = tr("未知错误,错误码:") + errCode;
    }
    tip_pro->setText(errMsg);
    tip_pro->show();
    tip2_pro->hide();
}

bool PageProject::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) {
        return QWidget::eventFilter(watched, event);
    }
    if (CShareWrapper::instance()->isSharing()) {
        onBtnClicked();
        return true;
    }
    if (singleMode) {
        if (watched == edit_code1 && btn_start->isEnabled()) {
            onBtnClicked();
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    if (watched == edit_code1) {
        edit_code2->setFocus();
        edit_code2->deselect();
        return true;
    }
    if (watched == edit_code2 && btn_start->isEnabled()) {
        onBtnClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PageProject::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    CProjectionManager::instance()->startStateTimer();
    if (edit_code1->isEnabled()) {
        edit_code1->setFocus();
    } else {
        btn_start->setFocus();
    }
}

void PageProject::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    CProjectionManager::instance()->stopStateTimer();
}
