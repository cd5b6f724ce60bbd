#pragma once

#include <QString>

#include <initializer_list>

class QWidget;

// Reads the style sheet ":/wid/qss/<name>.qss" and sets it on each of
// widgets. When the file cannot be opened, sets nothing, logs warning (each
// window keeps its own line) and returns false.
bool applyStyleSheet(const QString& name, std::initializer_list<QWidget*> widgets, const char* warning);
