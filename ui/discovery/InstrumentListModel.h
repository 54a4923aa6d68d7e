// The rows of a selection window's list view: one row per instrument of the displayed list, in
// its order (by address), four columns of centred text made when a row is painted. A view over
// it holds no item per row, so a list of tens of thousands of instruments is shown as fast as
// one of ten.
#pragma once

#include "model/InstrumentList.h"

#include <QAbstractTableModel>
#include <cstdint>
#include <optional>
#include <vector>

class CInstrumentListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum EColumn : int { COLUMN_NAME, COLUMN_ADDRESS, COLUMN_IN_USE, COLUMN_OWNER, COLUMN_COUNT };

    explicit CInstrumentListModel(QObject* pParent = nullptr);

    // The rows become the list's records: the rows there are rewritten in place, and rows are
    // added or removed at the end only, so that a view keeps its selection on the same row
    // numbers and its scroll position. Work and memory in proportion to the list.
    void ShowInstruments(const CInstrumentList& list);
    // The row of the instrument at this address, if one is shown.
    std::optional<int> RowOf(std::uint32_t dwAddress) const;
    // The address of the instrument on a row, if there is such a row.
    std::optional<std::uint32_t> AddressAt(int nRow) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int nRole) const override;
    QVariant headerData(int nSection, Qt::Orientation nOrientation, int nRole) const override;

private:
    // The model's own copies: the displayed list is replaced as a whole at a collection end.
    std::vector<CMolvarInstrument> m_listRows;
};
