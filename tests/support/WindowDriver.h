// Drives one window from outside, the way a user or a screen reader sees it: controls are found
// by their accessible names (a trailing colon and mnemonic marks ignored), buttons by their
// text, and the instrument list as the window's one list.
#pragma once

#include <QString>
#include <QStringList>

class QLineEdit;
class QPushButton;
class QTreeView;
class QWidget;

class CWindowDriver {
public:
    explicit CWindowDriver(QWidget& window) : m_window(window) {}

    QWidget& Window() const { return m_window; }
    QString Title() const;

    // A button by its text or accessible name; nullptr when the window has none.
    QPushButton* Button(const QString& strText) const;
    bool HasEnabledButton(const QString& strText) const;
    // Clicks with the mouse; false when there is no such button, or it is hidden or disabled.
    // Returns when the click's handling has (a window the click opens runs modally inside).
    bool Click(const QString& strText) const;

    // A single-line edit by its accessible name, e.g. "Connection status" or "Status".
    QLineEdit* Edit(const QString& strName) const;
    // Its text; "<no such field>" when there is none, so that comparisons fail visibly.
    QString Text(const QString& strName) const;
    // Types the text key by key into the edit, after clicking into it.
    bool Type(const QString& strName, const QString& strText) const;

    QTreeView* List() const;
    int RowCount() const;
    QStringList Row(int nRow) const; // the four cells; empty when there is no such row
    // The row whose first cell (the instrument name) is this; -1 when none.
    int FindRow(const QString& strName) const;
    // Clicks the row with the mouse; false when there is no such row.
    bool SelectRow(int nRow) const;

private:
    QWidget& m_window;
};
