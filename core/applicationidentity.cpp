#include "core/applicationidentity.h"
#include "core/version.h"

#include <QCoreApplication>

void setApplicationIdentity()
{
    QCoreApplication::setApplicationVersion(VANTELOR_VERSION);
    QCoreApplication::setOrganizationName("vantelor");
    QCoreApplication::setOrganizationDomain("vantelor.example");
    QCoreApplication::setApplicationName("vantelor");
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // Web views share one GL context; must be set before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qSetMessagePattern("[%{time yyyy/MM/dd hh:mm:ss.zzz}] %{message}");
}
