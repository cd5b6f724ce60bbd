#pragma once

#include <QDialog>

// Changing the signed-in user's password.
class DialogChangePassword : public QDialog
{
    Q_OBJECT
public:
    explicit DialogChangePassword(QWidget* parent = nullptr);

public slots:
    void relocateToCenter();
};
