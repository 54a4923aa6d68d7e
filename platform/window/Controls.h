// Controls made the way every window of the program wants them.
#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// A push button named for screen readers after its text. It takes Enter only as the window's
// default button or while it has the focus (CDialog), never as Qt's automatic default.
QPushButton* MakePushButton(const QString& strText, QWidget* pParent);

// A field the user reads but does not type in: drawn on the window's background so that it does
// not look editable, skipped by Tab, and still selectable with the mouse for copying.
void MakeReadOnlyField(QLineEdit* pEdit);

// The text field a label stands for: named after the label's text (colon included) for screen
// readers, the label's buddy, and read-only unless bEditable. It shares the label's parent.
QLineEdit* MakeLabelledField(QLabel* pLabel, bool bEditable);
