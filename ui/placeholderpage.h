#pragma once

class QString;
class QWidget;

// Lays out a page that is not built yet: its object name, the page size and a
// centred caption. The page's own issue replaces this with the real form.
void buildPlaceholderPage(QWidget* page, const char* objectName, const QString& caption);
