#include "tests/support/WindowDriver.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

namespace {

QString Plain(QString strName) {
    strName.remove(QLatin1Char('&'));
    strName = strName.trimmed();
    if (strName.endsWith(QLatin1Char(':'))) {
        strName.chop(1);
    }
    return strName;
}

} // namespace

QString CWindowDriver::Title() const {
    return m_window.windowTitle();
}

QPushButton* CWindowDriver::Button(const QString& strText) const {
    const QString strWanted = Plain(strText);
    for (QPushButton* pButton : m_window.findChildren<QPushButton*>()) {
        if (Plain(pButton->text()) == strWanted || Plain(pButton->accessibleName()) == strWanted) {
            return pButton;
        }
    }
    return nullptr;
}

bool CWindowDriver::HasEnabledButton(const QString& strText) const {
    const QPushButton* pButton = Button(strText);
    return pButton != nullptr && pButton->isVisible() && pButton->isEnabled();
}

bool CWindowDriver::Click(const QString& strText) const {
    QPushButton* pButton = Button(strText);
    if (pButton == nullptr || !pButton->isVisible() || !pButton->isEnabled()) {
        return false;
    }
    QTest::mouseClick(pButton, Qt::LeftButton);
    return true;
}

QLineEdit* CWindowDriver::Edit(const QString& strName) const {
    const QString strWanted = Plain(strName);
    for (QLineEdit* pEdit : m_window.findChildren<QLineEdit*>()) {
        if (Plain(pEdit->accessibleName()) == strWanted) {
            return pEdit;
        }
    }
    return nullptr;
}

QString CWindowDriver::Text(const QString& strName) const {
    const QLineEdit* pEdit = Edit(strName);
    return pEdit != nullptr ? pEdit->text() : QStringLiteral("<no such field>");
}

bool CWindowDriver::Type(const QString& strName, const QString& strText) const {
    QLineEdit* pEdit = Edit(strName);
    if (pEdit == nullptr || !pEdit->isEnabled() || pEdit->isReadOnly()) {
        return false;
    }
    QTest::mouseClick(pEdit, Qt::LeftButton);
    QTest::keyClicks(pEdit, strText);
    return true;
}

QTreeView* CWindowDriver::List() const {
    return m_window.findChild<QTreeView*>();
}

int CWindowDriver::RowCount() const {
    const QTreeView* pList = List();
    return pList != nullptr ? pList->model()->rowCount() : -1;
}

QStringList CWindowDriver::Row(int nRow) const {
    QStringList listCells;
    if (nRow < 0 || nRow >= RowCount()) {
        return listCells;
    }
    const QAbstractItemModel* pModel = List()->model();
    for (int nColumn = 0; nColumn < pModel->columnCount(); ++nColumn) {
        listCells << pModel->index(nRow, nColumn).data().toString();
    }
    return listCells;
}

int CWindowDriver::FindRow(const QString& strName) const {
    for (int nRow = 0; nRow < RowCount(); ++nRow) {
        if (Row(nRow).value(0) == strName) {
            return nRow;
        }
    }
    return -1;
}

bool CWindowDriver::SelectRow(int nRow) const {
    if (nRow < 0 || nRow >= RowCount()) {
        return false;
    }
    QTreeView* pList = List();
    const QModelIndex index = pList->model()->index(nRow, 0);
    pList->scrollTo(index);
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, pList->visualRect(index).center());
    return pList->selectionModel()->isRowSelected(nRow);
}
