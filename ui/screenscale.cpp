#include "ui/screenscale.h"

#include "ui/screendpi.h"
#include "ui/uilog.h"

#include <QDebug>

double dpiScaleFromDpi(double dotsPerInch)
{
    const double scale = dotsPerInch / 96.0;
    return (scale < 0.1 || scale > 5.0) ? 1.0 : scale;
}

double systemDpiScale()
{
    static double kept = 0.0;
    if (kept > 0.1) {
        return kept;
    }
    kept = dpiScaleFromDpi(primaryScreenLogicalDpi());
    qCDebug(lcUi).nospace() << "systemDpiScale: " << kept;
    return kept;
}

int fontPointSizeForScale(int sizeClass, double scale)
{
    if (scale < 1.2 || scale > 1.3) {
        scale = 1.0;
    }
    int base = 11;
    switch (sizeClass) {
    case 0:
        base = 7;
        break;
    case 1:
        base = 9;
        break;
    case 2:
        base = 11;
        break;
    case 3:
        base = 13;
        break;
    case 4:
        base = 20;
        break;
    default:
        break;
    }
    return static_cast<int>(base / scale);
}

int fontPointSize(int sizeClass)
{
    return fontPointSizeForScale(sizeClass, systemDpiScale());
}
