#include "platform/window/Controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

QPushButton* MakePushButton(const QString& strText, QWidget* pParent) {
    auto* pButton = new QPushButton(strText, pParent);
    pButton->setAccessibleName(strText);
    pButton->setAutoDefault(false);
    return pButton;
}

void MakeReadOnlyField(QLineEdit* pEdit) {
    pEdit->setReadOnly(true);
    QPalette palette = pEdit->palette();
    palette.setBrush(QPalette::Base, palette.brush(QPalette::Window));
    pEdit->setPalette(palette);
    pEdit->setFocusPolicy(Qt::ClickFocus);
}

QLineEdit* MakeLabelledField(QLabel* pLabel, bool bEditable) {
    auto* pEdit = new QLineEdit(pLabel->parentWidget());
    if (!bEditable) {
        MakeReadOnlyField(pEdit);
    }
    pEdit->setAccessibleName(pLabel->text());
    pLabel->setAccessibleName(pLabel->text());
    pLabel->setBuddy(pEdit);
    return pEdit;
}
