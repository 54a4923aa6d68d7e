#include "ui/discovery/InstrumentListModel.h"

#include "platform/window/WideText.h"

#include <algorithm>

namespace {

const char* const COLUMN_HEADINGS[CInstrumentListModel::COLUMN_COUNT] = {
    "Instrument name", "Instrument address", "In use", "Owner address"};

} // namespace

CInstrumentListModel::CInstrumentListModel(QObject* pParent) : QAbstractTableModel(pParent) {}

void CInstrumentListModel::ShowInstruments(const CInstrumentList& list) {
    const int nRows = static_cast<int>(m_listRows.size());
    const int nCount = static_cast<int>(list.GetCount());
    if (nCount < nRows) {
        beginRemoveRows({}, nCount, nRows - 1);
        m_listRows.resize(static_cast<std::size_t>(nCount));
        endRemoveRows();
    }
    auto itInstrument = list.begin();
    for (CMolvarInstrument& row : m_listRows) {
        row = *itInstrument++;
    }
    if (nCount > 0 && nRows > 0) {
        emit dataChanged(index(0, 0), index(std::min(nRows, nCount) - 1, COLUMN_COUNT - 1));
    }
    if (nCount > nRows) {
        beginInsertRows({}, nRows, nCount - 1);
        m_listRows.insert(m_listRows.end(), itInstrument, list.end());
        endInsertRows();
    }
}

std::optional<int> CInstrumentListModel::RowOf(std::uint32_t dwAddress) const {
    const auto it = std::lower_bound(m_listRows.begin(), m_listRows.end(), dwAddress,
                                     [](const CMolvarInstrument& instrument, std::uint32_t dw) {
                                         return instrument.m_dwIPAddress < dw;
                                     });
    if (it == m_listRows.end() || it->m_dwIPAddress != dwAddress) {
        return std::nullopt;
    }
    return static_cast<int>(it - m_listRows.begin());
}

std::optional<std::uint32_t> CInstrumentListModel::AddressAt(int nRow) const {
    if (nRow < 0 || nRow >= rowCount()) {
        return std::nullopt;
    }
    return m_listRows[static_cast<std::size_t>(nRow)].m_dwIPAddress;
}

int CInstrumentListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_listRows.size());
}

int CInstrumentListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant CInstrumentListModel::data(const QModelIndex& index, int nRole) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    if (nRole == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    if (nRole != Qt::DisplayRole && nRole != Qt::AccessibleTextRole) {
        return {};
    }
    const CMolvarInstrument& instrument = m_listRows[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case COLUMN_NAME:
        return FromWide(instrument.DisplayName());
    case COLUMN_ADDRESS:
        return FromWide(instrument.DisplayAddress());
    case COLUMN_IN_USE:
        return FromWide(instrument.DisplayInUse());
    case COLUMN_OWNER:
        return FromWide(instrument.DisplayOwner());
    default:
        return {};
    }
}

QVariant CInstrumentListModel::headerData(int nSection, Qt::Orientation nOrientation,
                                          int nRole) const {
    if (nOrientation != Qt::Horizontal || nSection < 0 || nSection >= COLUMN_COUNT) {
        return {};
    }
    if (nRole == Qt::DisplayRole) {
        return QString::fromUtf8(COLUMN_HEADINGS[nSection]);
    }
    if (nRole == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    return {};
}
