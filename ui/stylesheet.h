#pragma once

#include <QString>

// Reads the style sheet ":/wid/qss/<name>.qss" into sheet. Returns false when
// the file cannot be opened; each window logs its own warning then.
bool readStyleSheet(const QString& name, QString& sheet);
