#pragma once

#include <QString>

#include <initializer_list>

class QWidget;

// The action colour of buttons, links and highlights, in code and in the
// style sheets, which name it "@ACTION_COLOUR@".
constexpr char kActionColour[] = "rgb(1,149,255)";

// Reads the style sheet ":/wid/qss/<name>.qss", puts in the action colour and
// sets it on each of widgets. When the file cannot be opened, sets nothing,
// logs warning (each window keeps its own line) and returns false.
bool applyStyleSheet(const QString& name, std::initializer_list<QWidget*> widgets, const char* warning);
