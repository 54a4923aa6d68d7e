// Every message box of the program goes through ShowMessageBox: a modal QMessageBox in the
// program, a recorder that answers at once in tests.
#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class EMessageIcon { Exclamation, Information, Question };
enum class EMessageButtons { Ok, YesNo };

// Answers.
constexpr int IDOK_BOX = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct SMessageBox {
    QWidget* pOwner = nullptr; // none for the start-up question
    QString strCaption;
    QString strText;
    EMessageIcon nIcon = EMessageIcon::Exclamation;
    EMessageButtons nButtons = EMessageButtons::Ok;
};

// Shows the box modally and returns the answer: IDOK_BOX, IDYES or IDNO.
int ShowMessageBox(QWidget* pOwner, const QString& strText, const QString& strCaption,
                   EMessageIcon nIcon, EMessageButtons nButtons = EMessageButtons::Ok);

// Tests: every box goes to the handler instead, which answers at once. Empty restores the real
// boxes.
using MessageBoxHandler = std::function<int(const SMessageBox&)>;
void SetMessageBoxHandler(MessageBoxHandler fnHandler);
