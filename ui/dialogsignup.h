#pragma once

#include <QDialog>

// Registering a new account.
class DialogSignup : public QDialog
{
    Q_OBJECT
public:
    explicit DialogSignup(QWidget* parent = nullptr);

signals:
    // The user wants the sign-in dialog instead.
    void loginBtnClicked();

public slots:
    void relocateToCenter();
};
