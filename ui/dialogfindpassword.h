#pragma once

#include <QDialog>

// Resetting a forgotten password by SMS code.
class DialogFindPassword : public QDialog
{
    Q_OBJECT
public:
    explicit DialogFindPassword(QWidget* parent = nullptr);

signals:
    // Go back to the sign-in dialog.
    void loginBtnClicked();

public slots:
    void relocateToCenter();
};
