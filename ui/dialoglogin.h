#pragma once

#include <QDialog>

// Signing in by phone number and password or SMS code.
class DialogLogin : public QDialog
{
    Q_OBJECT
public:
    explicit DialogLogin(QWidget* parent = nullptr);

signals:
    // The user asked to register.
    void signupBtnClicked();
    // The user asked to recover the password.
    void findPswBtnClicked();

public slots:
    void relocateToCenter();
};
