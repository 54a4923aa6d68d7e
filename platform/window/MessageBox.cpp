#include "platform/window/MessageBox.h"

#include "platform/window/WinApp.h"

#include <QMessageBox>

namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler fnHandler;
    return fnHandler;
}

QMessageBox::Icon ToQtIcon(EMessageIcon nIcon) {
    switch (nIcon) {
    case EMessageIcon::Information:
        return QMessageBox::Information;
    case EMessageIcon::Question:
        return QMessageBox::Question;
    case EMessageIcon::Exclamation:
        break;
    }
    return QMessageBox::Warning;
}

} // namespace

int ShowMessageBox(QWidget* pOwner, const QString& strText, const QString& strCaption,
                   EMessageIcon nIcon, EMessageButtons nButtons) {
    SMessageBox box;
    box.pOwner = pOwner;
    box.strCaption = strCaption;
    if (box.strCaption.isEmpty() && CWinApp::GetCurrent() != nullptr) {
        box.strCaption = CWinApp::GetCurrent()->GetAppName();
    }
    box.strText = strText;
    box.nIcon = nIcon;
    box.nButtons = nButtons;
    // A copy, so that a handler may replace itself while it answers.
    if (const MessageBoxHandler fnHandler = Handler()) {
        return fnHandler(box);
    }

    const bool bYesNo = nButtons == EMessageButtons::YesNo;
    QMessageBox messageBox(ToQtIcon(nIcon), box.strCaption, strText,
                           bYesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, pOwner);
    messageBox.setDefaultButton(bYesNo ? QMessageBox::Yes : QMessageBox::Ok);
    const int nAnswer = messageBox.exec();
    if (!bYesNo) {
        return IDOK_BOX;
    }
    return nAnswer == QMessageBox::Yes ? IDYES : IDNO;
}

void SetMessageBoxHandler(MessageBoxHandler fnHandler) {
    Handler() = std::move(fnHandler);
}
