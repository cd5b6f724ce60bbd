#include "ui/dialogupdate.h"

#include "platform/updateclient.h"
#include "platform/updatehandoff.h"
#include "ui/actionbutton.h"
#include "ui/dialogplacement.h"
#include "ui/formwidgets.h"
#include "ui/screenscale.h"
#include "ui/stylesheet.h"

#include <QDebug>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

DialogUpdate::DialogUpdate(CUpdateClient* client, QWidget* parent) : QDialog(parent), m_client(client)
{
    setupUi();
    // Like every dialog of the main window: a frameless child over its mask.
    setWindowFlags(Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    relocateToCenter();

    applyStyleSheet(QStringLiteral("wid_dlgupdate"), {this},
                    "Can't open the style sheet file of wid_dlgupdate.qss");
    for (QPushButton* action : {btnOK, btnUpdate, btnErrorClose, btnSavedClose}) {
        setActionButtonEnabled(action, true);
    }

    connect(btnClose, &QPushButton::clicked, this, &DialogUpdate::reject);
    connect(btnOK, &QPushButton::clicked, this, &DialogUpdate::accept);
    connect(btnLater, &QPushButton::clicked, this, &DialogUpdate::reject);
    connect(btnErrorClose, &QPushButton::clicked, this, &DialogUpdate::reject);
    connect(btnSavedClose, &QPushButton::clicked, this, &DialogUpdate::accept);
    connect(btnUpdate, &QPushButton::clicked, this, &DialogUpdate::onUpdateClicked);
    connect(btnCancel, &QPushButton::clicked, this, &DialogUpdate::onCancelClicked);
    // Closing the dialog in any way stops a download that is still running.
    connect(this, &QDialog::finished, this, [this] {
        if (m_client && m_client->isDownloading()) {
            m_client->cancelDownload();
        }
    });

    showPage(PageChecking);
    if (m_client) {
        connect(m_client, &CUpdateClient::checkFinished, this,
                [this](CUpdateClient::CheckResult result, const CAppcastItem& item, const QString& error) {
                    onCheckFinished(int(result), item, error);
                });
        connect(m_client, &CUpdateClient::downloadProgress, this, &DialogUpdate::onDownloadProgress);
        connect(m_client, &CUpdateClient::downloadFinished, this, &DialogUpdate::onDownloadFinished);
        m_client->check();
    }
}

void DialogUpdate::setupUi()
{
    setObjectName(QStringLiteral("DialogUpdate"));
    setAttribute(Qt::WA_StyledBackground);
    resize(430, 320);
    setWindowTitle(tr("检查更新"));
    setFont(FormWidgets::dialogFont());

    labelTitle =
        FormWidgets::label(this, "labelTitle", QRect(0, 0, 430, 45), tr("检查更新"), Qt::AlignCenter);
    frameLine = new QFrame(this);
    frameLine->setObjectName(QStringLiteral("frameLine"));
    frameLine->setGeometry(0, 44, 430, 1);
    btnClose = FormWidgets::button(this, "btnClose", QRect(400, 15, 14, 14));
    btnClose->setToolTip(tr("关闭"));

    stkPages = new QStackedWidget(this);
    stkPages->setObjectName(QStringLiteral("stkPages"));
    stkPages->setGeometry(0, 45, 430, 275);

    QWidget* checking = FormWidgets::page(stkPages, "pageChecking");
    labelChecking = FormWidgets::label(checking, "labelChecking", QRect(0, 90, 430, 40), tr("正在检查更新…"),
                                       Qt::AlignCenter);

    QWidget* upToDate = FormWidgets::page(stkPages, "pageUpToDate");
    labelUpToDate = FormWidgets::label(upToDate, "labelUpToDate", QRect(0, 70, 430, 40),
                                       tr("当前已是最新版本"), Qt::AlignCenter);
    btnOK = FormWidgets::button(upToDate, "btnOK", QRect(50, 190, 330, 45), tr("确  定"));

    QWidget* available = FormWidgets::page(stkPages, "pageAvailable");
    labelVersion = FormWidgets::messageLabel(available, "labelVersion", QRect(30, 15, 370, 30));
    textNotes = new QPlainTextEdit(available);
    textNotes->setObjectName(QStringLiteral("textNotes"));
    textNotes->setGeometry(30, 50, 370, 125);
    textNotes->setReadOnly(true);
    textNotes->setFocusPolicy(Qt::NoFocus);
    btnUpdate = FormWidgets::button(available, "btnUpdate", QRect(30, 190, 175, 45), tr("立即更新"));
    btnLater = FormWidgets::button(available, "btnLater", QRect(225, 190, 175, 45), tr("稍后"));

    QWidget* downloading = FormWidgets::page(stkPages, "pageDownloading");
    labelDownloading = FormWidgets::messageLabel(downloading, "labelDownloading", QRect(30, 60, 370, 30));
    progress = new QProgressBar(downloading);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setGeometry(30, 100, 370, 22);
    progress->setRange(0, 100);
    btnCancel = FormWidgets::button(downloading, "btnCancel", QRect(50, 190, 330, 45), tr("取  消"));

    QWidget* error = FormWidgets::page(stkPages, "pageError");
    labelError = FormWidgets::messageLabel(error, "labelError", QRect(30, 60, 370, 60));
    labelError->setAlignment(Qt::AlignCenter);
    labelError->setWordWrap(true);
    btnErrorClose = FormWidgets::button(error, "btnErrorClose", QRect(50, 190, 330, 45), tr("关  闭"));

    QWidget* saved = FormWidgets::page(stkPages, "pageSaved");
    labelSaved = FormWidgets::messageLabel(saved, "labelSaved", QRect(30, 40, 370, 100));
    labelSaved->setAlignment(Qt::AlignCenter);
    labelSaved->setWordWrap(true);
    labelSaved->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnSavedClose = FormWidgets::button(saved, "btnSavedClose", QRect(50, 190, 330, 45), tr("确  定"));

    QFont font = labelTitle->font();
    font.setPointSize(fontPointSize(3));
    for (QWidget* w :
         std::initializer_list<QWidget*>{labelTitle, labelChecking, labelUpToDate, labelVersion, btnOK,
                                         btnUpdate, btnLater, btnCancel, btnErrorClose, btnSavedClose}) {
        w->setFont(font);
    }
    font.setPointSize(fontPointSize(2));
    for (QWidget* w : std::initializer_list<QWidget*>{textNotes, labelDownloading, labelError, labelSaved}) {
        w->setFont(font);
    }
}

DialogUpdate::Page DialogUpdate::page() const
{
    return Page(stkPages->currentIndex());
}

QString DialogUpdate::message() const
{
    switch (page()) {
    case PageChecking:
        return labelChecking->text();
    case PageUpToDate:
        return labelUpToDate->text();
    case PageAvailable:
        return labelVersion->text();
    case PageDownloading:
        return labelDownloading->text();
    case PageError:
        return labelError->text();
    case PageSaved:
        return labelSaved->text();
    }
    return QString();
}

void DialogUpdate::relocateToCenter()
{
    centerOnParent(this);
}

void DialogUpdate::showPage(Page page, const QString& message)
{
    stkPages->setCurrentIndex(page);
    if (page == PageError) {
        labelError->setText(message);
    } else if (page == PageSaved) {
        labelSaved->setText(message);
    }
}

void DialogUpdate::onCheckFinished(int result, const CAppcastItem& item, const QString& error)
{
    if (page() != PageChecking) {
        return;
    }
    switch (CUpdateClient::CheckResult(result)) {
    case CUpdateClient::CheckResult::UpToDate:
        showPage(PageUpToDate);
        break;
    case CUpdateClient::CheckResult::UpdateAvailable:
        m_item = item;
        labelVersion->setText(tr("发现新版本 %1").arg(item.shortVersion));
        textNotes->setPlainText(item.notes.isEmpty() ? item.title : item.notes);
        showPage(PageAvailable);
        break;
    case CUpdateClient::CheckResult::Failed:
        showPage(PageError, error);
        break;
    }
}

void DialogUpdate::onUpdateClicked()
{
    if (!m_client) {
        return;
    }
    progress->setValue(0);
    labelDownloading->setText(tr("正在下载新版本 %1…").arg(m_item.shortVersion));
    showPage(PageDownloading);
    m_client->download(m_item);
}

void DialogUpdate::onCancelClicked()
{
    if (m_client) {
        m_client->cancelDownload();
    }
}

void DialogUpdate::onDownloadProgress(qint64 received, qint64 total)
{
    if (total > 0) {
        progress->setValue(int(received * 100 / total));
    }
}

void DialogUpdate::onDownloadFinished(bool ok, const QString& path, const QString& error, bool cancelled)
{
    if (page() != PageDownloading) {
        return;
    }
    if (cancelled) {
        showPage(PageAvailable);
        return;
    }
    if (!ok) {
        showPage(PageError, error);
        return;
    }
    progress->setValue(100);
    if (CUpdateHandOff::handOff(path) == CUpdateHandOff::Outcome::InstallerStarted) {
        emit installerStarted();
        accept();
        return;
    }
    showPage(PageSaved, tr("新版本已下载到 %1，请手动安装。").arg(QDir::toNativeSeparators(path)));
}

void DialogUpdate::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    event->accept();
}
