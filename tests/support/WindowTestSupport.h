// What the selection, claim and rename window tests share: the application on loopback with a
// main connection window that routes every arriving datagram, the windows' controls found the
// way a screen reader finds them, and datagrams built as instruments send them.
#pragma once

#include "app/MolvarInstrumentConnectionApplication.h"
#include "link/Messages.h"
#include "link/UDPInstrumentInterface.h"
#include "tests/support/LoopbackApplication.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/Wait.h"
#include "ui/connection/MolvarInstrumentConnectionDialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <span>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline QLineEdit* Field(QWidget& dlg, const QString& strName) {
    for (QLineEdit* pEdit : dlg.findChildren<QLineEdit*>()) {
        if (pEdit->accessibleName() == strName) {
            return pEdit;
        }
    }
    return nullptr;
}

inline QPushButton* Button(QWidget& dlg, const QString& strName) {
    for (QPushButton* pButton : dlg.findChildren<QPushButton*>()) {
        if (pButton->accessibleName() == strName) {
            return pButton;
        }
    }
    return nullptr;
}

inline QTreeView* InstrumentList(QWidget& dlg) {
    return dlg.findChild<QTreeView*>();
}

inline int RowCount(QWidget& dlg) {
    return InstrumentList(dlg)->model()->rowCount();
}

inline QStringList RowTexts(QWidget& dlg, int nRow) {
    QStringList list;
    const QAbstractItemModel* pModel = InstrumentList(dlg)->model();
    for (int nColumn = 0; nRow < pModel->rowCount() && nColumn < 4; ++nColumn) {
        list << pModel->index(nRow, nColumn).data().toString();
    }
    return list;
}

// The rows selected, through the list's selection.
inline std::vector<int> SelectedRows(QWidget& dlg) {
    std::vector<int> list;
    for (const QModelIndex& index : InstrumentList(dlg)->selectionModel()->selectedRows()) {
        list.push_back(index.row());
    }
    return list;
}

inline QPoint RowCentre(QWidget& dlg, int nRow) {
    QTreeView* pList = InstrumentList(dlg);
    return pList->visualRect(pList->model()->index(nRow, 0)).center();
}

inline std::vector<std::uint8_t> Framed(std::uint32_t dwDestination, std::uint32_t dwSource,
                                        std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> datagram(DATAGRAM_HEADER_SIZE + payload.size());
    datagram.resize(FrameDatagram(dwDestination, dwSource, payload, datagram.data()));
    return datagram;
}

// A discovery reply of an instrument, whole, as the routing hands it over.
inline std::vector<std::uint8_t> DiscoveryReplyOf(const SSimulatedInstrument& instrument) {
    return Framed(LOOPBACK_ADDRESS, instrument.dwAddress,
                  BuildDiscoveryReply(DescribeInstrument(instrument)));
}

inline std::vector<SSimulatorRequest> RequestsOf(CInstrumentSimulator& simulator,
                                                 std::uint8_t nCode) {
    std::vector<SSimulatorRequest> list;
    for (const SSimulatorRequest& request : simulator.Requests()) {
        if (request.nCode == nCode) {
            list.push_back(request);
        }
    }
    return list;
}

// Waits for requests while the windows run (the simulator's own wait would block their timers).
inline bool WaitForRequests(CInstrumentSimulator& simulator, std::uint8_t nCode, std::size_t nCount,
                            std::chrono::milliseconds timeout = 5s) {
    return WaitFor([&] { return simulator.CountRequests(nCode) >= nCount; }, timeout);
}

inline long long MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// The application on loopback, with nothing configured, and its main connection window open
// (modeless), so that replies are routed to the windows under test as in the program.
class CRoutedApplication {
public:
    explicit CRoutedApplication(std::vector<SSimulatedInstrument> listInstruments = {},
                                std::set<std::uint8_t> setMuteCodes = {})
        : m_lab(Options(std::move(listInstruments), std::move(setMuteCodes))) {
        App().m_nConnectionState = CONNECTION_NOT_CONFIGURED;
        m_pMain = std::make_unique<CMolvarInstrumentConnectionDialog>(App());
        App().m_pConnectionDialog = m_pMain.get();
        m_pMain->Create();
    }
    ~CRoutedApplication() {
        m_pMain->DestroyWindow();
        App().m_pConnectionDialog = nullptr;
    }
    CRoutedApplication(const CRoutedApplication&) = delete;
    CRoutedApplication& operator=(const CRoutedApplication&) = delete;

    CMolvarInstrumentConnectionApplication& App() { return m_lab.App(); }
    CUDPInstrumentInterface& Link() { return m_lab.Link(); }
    CInstrumentSimulator& Simulator() { return m_lab.Simulator(); }
    CMolvarInstrumentConnectionDialog& Main() { return *m_pMain; }
    CLoopbackApplication& Lab() { return m_lab; }
    static std::uint32_t Address(std::size_t nIndex) {
        return CLoopbackApplication::InstrumentAddress(nIndex);
    }
    // This computer's host name as the link read it (8-bit, as instruments store it).
    std::string LocalHostName() { return m_lab.Link().m_szLocalHostName; }

private:
    static SLoopbackOptions Options(std::vector<SSimulatedInstrument> listInstruments,
                                    std::set<std::uint8_t> setMuteCodes) {
        SLoopbackOptions options;
        options.listInstruments = std::move(listInstruments);
        options.simulator.setMuteCodes = std::move(setMuteCodes);
        return options;
    }

    CLoopbackApplication m_lab;
    std::unique_ptr<CMolvarInstrumentConnectionDialog> m_pMain;
};
