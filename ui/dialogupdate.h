#pragma once

#include "platform/appcast.h"

#include <QDialog>
#include <QPointer>

class CUpdateClient;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

// The interactive update check: checking…, then up to date, the offered
// version with its notes, or why the feed could not be read. "立即更新"
// downloads with a cancellable progress bar; a verified package is handed
// to the system's installer and the client quits through the updater's quit
// callback.
class DialogUpdate : public QDialog
{
    Q_OBJECT
public:
    enum Page
    {
        PageChecking,
        PageUpToDate,
        PageAvailable,
        PageDownloading,
        PageError,
        PageSaved // downloaded and verified, but no installer could be started
    };
    Q_ENUM(Page)

    // client is not owned; the dialog starts a check at once.
    DialogUpdate(CUpdateClient* client, QWidget* parent = nullptr);

    Page page() const;
    QString message() const;

public slots:
    void relocateToCenter();

signals:
    // The installer runs: the client is to quit now.
    void installerStarted();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void onCheckFinished(int result, const CAppcastItem& item, const QString& error);
    void onUpdateClicked();
    void onCancelClicked();
    void onDownloadProgress(qint64 received, qint64 total);
    void onDownloadFinished(bool ok, const QString& path, const QString& error, bool cancelled);

private:
    void setupUi();
    void showPage(Page page, const QString& message = QString());

    QPointer<CUpdateClient> m_client;
    CAppcastItem m_item;

    QLabel* labelTitle = nullptr;
    QFrame* frameLine = nullptr;
    QPushButton* btnClose = nullptr;
    QStackedWidget* stkPages = nullptr;
    QLabel* labelChecking = nullptr;
    QLabel* labelUpToDate = nullptr;
    QPushButton* btnOK = nullptr;
    QLabel* labelVersion = nullptr;
    QPlainTextEdit* textNotes = nullptr;
    QPushButton* btnUpdate = nullptr;
    QPushButton* btnLater = nullptr;
    QLabel* labelDownloading = nullptr;
    QProgressBar* progress = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* labelError = nullptr;
    QPushButton* btnErrorClose = nullptr;
    QLabel* labelSaved = nullptr;
    QPushButton* btnSavedClose = nullptr;
};
