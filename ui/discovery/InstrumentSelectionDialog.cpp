#include "ui/discovery/InstrumentSelectionDialog.h"

#include "app/InstrumentChannel.h"
#include "app/TerminationSignals.h"
#include "platform/window/Controls.h"
#include "platform/window/WideText.h"
#include "protocol/OutcomeTexts.h"
#include "ui/WindowMessages.h"
#include "ui/discovery/InstrumentListModel.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QString CAPTION = QStringLiteral("Available Instruments");

} // namespace

CInstrumentSelectionDialog::CInstrumentSelectionDialog(CWindowContext& context,
                                                       const SInstrumentSelectionTraits& traits,
                                                       QWidget* pParent)
    : CDialog(pParent), m_context(context), m_traits(traits), m_cycle(context.BroadcastAddress()) {
    BuildControls();
}

CInstrumentSelectionDialog::~CInstrumentSelectionDialog() = default;

void CInstrumentSelectionDialog::BuildControls() {
    setWindowTitle(QString::fromUtf8(m_traits.pszTitle));

    m_pInstrumentModel = new CInstrumentListModel(this);
    m_pInstrumentList = new QTreeView(this);
    m_pInstrumentList->setModel(m_pInstrumentModel);
    m_pInstrumentList->setAccessibleName(QStringLiteral("Instrument list"));
    m_pInstrumentList->setRootIsDecorated(false);
    m_pInstrumentList->setItemsExpandable(false);
    m_pInstrumentList->setUniformRowHeights(true);
    m_pInstrumentList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pInstrumentList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pInstrumentList->header()->setDefaultAlignment(Qt::AlignCenter);
    // The widths are set once, from the list's width as the window opens.
    m_pInstrumentList->header()->setStretchLastSection(false);
    m_pInstrumentList->header()->setSectionsMovable(false);
    // A sixth of the list is the narrowest column: wide enough for the longest heading in it,
    // even with a vertical scroll bar shown.
    const QFontMetrics metrics = m_pInstrumentList->header()->fontMetrics();
    const int nNarrowColumn =
        metrics.horizontalAdvance(
            m_pInstrumentModel
                ->headerData(CInstrumentListModel::COLUMN_NAME, Qt::Horizontal, Qt::DisplayRole)
                .toString()) +
        2 * metrics.averageCharWidth();
    m_pInstrumentList->setMinimumWidth(
        6 * nNarrowColumn + 2 * m_pInstrumentList->frameWidth() +
        m_pInstrumentList->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    // Double and right clicks anywhere on the list, rows or not, run the list action.
    m_pInstrumentList->viewport()->installEventFilter(this);

    auto* pButtons = new QVBoxLayout;
    for (const SSelectionButton& button : m_traits.buttons) {
        QPushButton* pButton = MakePushButton(QString::fromUtf8(button.pszText), this);
        if (button.bDefault) {
            pButton->setDefault(true);
        }
        const ESelectionAction nAction = button.nAction;
        connect(pButton, &QPushButton::clicked, this, [this, nAction] { RunAction(nAction); });
        m_listActionButtons.push_back(pButton);
        pButtons->addWidget(pButton);
    }
    pButtons->addStretch(1);

    auto* pFrame = new QGroupBox(this);
    auto* pFrameLayout = new QHBoxLayout(pFrame);
    pFrameLayout->addWidget(m_pInstrumentList, 1);
    pFrameLayout->addLayout(pButtons);

    m_pStatusEdit = new QLineEdit(this);
    MakeReadOnlyField(m_pStatusEdit);
    m_pStatusEdit->setAccessibleName(QStringLiteral("Status"));

    m_pCloseButton = MakePushButton(QStringLiteral("Close"), this);
    connect(m_pCloseButton, &QPushButton::clicked, this, [this] { EndDialog(0); });

    auto* pBottom = new QHBoxLayout;
    pBottom->addWidget(m_pStatusEdit, 1);
    pBottom->addWidget(m_pCloseButton);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pFrame, 1);
    pLayout->addLayout(pBottom);
    resize(minimumSizeHint().width(), 340);
}

bool CInstrumentSelectionDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    for (QPushButton* pButton : m_listActionButtons) {
        pButton->setEnabled(false);
    }
    m_pCloseButton->setEnabled(true);
    if (CInstrumentChannel* pChannel = m_context.Channel()) {
        m_registration.Register(pChannel->Router(), {MSG_DISCOVERY_REPLY}, m_traits.pszRouteName);
    }
    RefreshInstrumentView(true);
    Act(m_cycle.Open());
    return true;
}

void CInstrumentSelectionDialog::showEvent(QShowEvent* pEvent) {
    CDialog::showEvent(pEvent);
    // By the first show the layout has given the list its size: the opening's width.
    if (!m_bColumnsSized) {
        m_bColumnsSized = true;
        SetColumnWidths();
    }
}

void CInstrumentSelectionDialog::SetColumnWidths() {
    const int nWidth = m_pInstrumentList->viewport()->width();
    const int nColumn = nWidth / 6;
    m_pInstrumentList->setColumnWidth(CInstrumentListModel::COLUMN_NAME, nColumn);
    m_pInstrumentList->setColumnWidth(CInstrumentListModel::COLUMN_ADDRESS, 2 * nColumn);
    m_pInstrumentList->setColumnWidth(CInstrumentListModel::COLUMN_IN_USE, nColumn);
    m_pInstrumentList->setColumnWidth(CInstrumentListModel::COLUMN_OWNER, nWidth - 4 * nColumn);
}

void CInstrumentSelectionDialog::OnTimer(unsigned nIDEvent) {
    Act(m_cycle.OnTimer(nIDEvent));
    CDialog::OnTimer(nIDEvent);
}

unsigned* CInstrumentSelectionDialog::TimerMember(unsigned nTimerId) {
    switch (nTimerId) {
    case CDiscoveryCycle::ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT:
        return &m_nCollectionTimer;
    case CDiscoveryCycle::ID_INSTRUMENT_DISCOVERY_DWELL_TIMER_EVENT:
        return &m_nDwellTimer;
    case CDiscoveryCycle::ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT:
        return &m_nRequestTimer;
    default:
        return nullptr;
    }
}

void CInstrumentSelectionDialog::Act(const SDiscoveryStep& step) {
    for (const STimerAction& timer : step.listTimers) {
        unsigned* pnTimer = TimerMember(timer.nTimerId);
        if (pnTimer == nullptr) {
            continue;
        }
        if (timer.bStart) {
            *pnTimer = SetTimer(timer.nTimerId, timer.nPeriodMs);
        } else {
            StopRunningTimer(*pnTimer);
        }
    }
    if (step.request) {
        // A request that does not go out is neither reported nor repeated: the cycle sends
        // others.
        CInstrumentChannel* pChannel = m_context.Channel();
        if (pChannel != nullptr && !IsEndingRun()) {
            pChannel->Send(*step.request);
        }
    }
    if (step.bDisplayedChanged) {
        RefreshInstrumentView(false);
    }
}

void CInstrumentSelectionDialog::StartDiscoveryCycle() {
    Act(m_cycle.StartDiscoveryCycle());
}

bool CInstrumentSelectionDialog::IsTakingReplies() const {
    return IsWindowVisible();
}

void CInstrumentSelectionDialog::TakeReply(const SDatagramView& datagram) {
    HandleDiscoveryReply(datagram);
}

void CInstrumentSelectionDialog::HandleDiscoveryReply(const SDatagramView& datagram) {
    // Replies are merged whatever the phase: the next cycle start empties the collected list,
    // so a reply during the dwell never reaches the rows.
    m_cycle.OnReply(datagram.payload);
}

void CInstrumentSelectionDialog::HandleDiscoveryReply(const std::uint8_t* pbDatagram,
                                                      std::uint32_t dwLength) {
    if (pbDatagram == nullptr) {
        return;
    }
    if (const std::optional<SDatagramView> view = ParseDatagram({pbDatagram, dwLength})) {
        HandleDiscoveryReply(*view);
    }
}

std::intptr_t CInstrumentSelectionDialog::OnWindowMessage(unsigned nMessage, std::uintptr_t wParam,
                                                          std::intptr_t lParam) {
    if (nMessage == WM_REFRESH_INSTRUMENTS) {
        Act(m_cycle.Refresh());
        return 0;
    }
    return CDialog::OnWindowMessage(nMessage, wParam, lParam);
}

void CInstrumentSelectionDialog::OnDestroy() {
    CDialog::OnDestroy();
    m_registration.Unregister();
    Act(m_cycle.Close());
}

void CInstrumentSelectionDialog::RefreshInstrumentView(bool bCheckingNetwork) {
    const CInstrumentList& listDisplayed = m_cycle.GetDisplayed();
    const std::uint32_t nCount = listDisplayed.GetCount();
    m_pStatusEdit->setText(FromWide(DiscoveryStatusText(nCount, bCheckingNetwork)));

    const bool bAnyFree = m_cycle.HasInstrumentNotInUse();
    // A focused action button about to be disabled gives the focus to the list, where the
    // arrow keys still choose an instrument.
    if (!bAnyFree &&
        std::ranges::find(m_listActionButtons, focusWidget()) != m_listActionButtons.end()) {
        m_pInstrumentList->setFocus(Qt::OtherFocusReason);
    }
    for (QPushButton* pButton : m_listActionButtons) {
        pButton->setEnabled(bAnyFree);
    }

    // The selection follows the instrument, not the row: rows move when an instrument with a
    // lower address comes or goes, and an action must not land on another instrument. The rows
    // are rewritten in place, in time and memory in proportion to the list.
    const std::optional<std::uint32_t> dwSelected = SelectedAddress();
    m_pInstrumentModel->ShowInstruments(listDisplayed);
    SelectAddress(dwSelected);
}

std::optional<std::uint32_t> CInstrumentSelectionDialog::SelectedAddress() const {
    const QModelIndexList listSelected = m_pInstrumentList->selectionModel()->selectedRows();
    if (listSelected.isEmpty()) {
        return std::nullopt;
    }
    return m_pInstrumentModel->AddressAt(listSelected.front().row());
}

void CInstrumentSelectionDialog::SelectAddress(std::optional<std::uint32_t> dwAddress) {
    QItemSelectionModel* pSelection = m_pInstrumentList->selectionModel();
    const std::optional<int> nRow =
        dwAddress ? m_pInstrumentModel->RowOf(*dwAddress) : std::nullopt;
    if (!nRow) {
        pSelection->clearSelection();
        return;
    }
    const QModelIndex index = m_pInstrumentModel->index(*nRow, CInstrumentListModel::COLUMN_NAME);
    if (!pSelection->isRowSelected(*nRow)) {
        pSelection->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    pSelection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

std::optional<CMolvarInstrument>
CInstrumentSelectionDialog::ChooseInstrument(ESelectionAction nAction) {
    const CInstrumentList& listDisplayed = m_cycle.GetDisplayed();
    const std::uint32_t nCount = listDisplayed.GetCount();
    if (nCount == 0) {
        return std::nullopt;
    }
    std::uint32_t nRow = 0;
    const QModelIndexList listSelected = m_pInstrumentList->selectionModel()->selectedRows();
    if (!listSelected.isEmpty()) {
        nRow = static_cast<std::uint32_t>(listSelected.front().row());
    } else if (nCount > 1) {
        ShowMessage(QString::fromUtf8(SelectionActionTexts(nAction).pszSelectMessage),
                    EMessageIcon::Exclamation);
        return std::nullopt;
    }
    const CMolvarInstrument* pInstrument = listDisplayed.GetAt(nRow);
    if (pInstrument == nullptr) {
        ShowMessage(QStringLiteral("The selected instrument is no longer available."),
                    EMessageIcon::Exclamation);
        return std::nullopt;
    }
    // A copy: the displayed list may be replaced while the action's windows run.
    return *pInstrument;
}

void CInstrumentSelectionDialog::RunAction(ESelectionAction nAction) {
    if (m_bActionRunning) {
        return;
    }
    const QScopedValueRollback<bool> running(m_bActionRunning, true);
    OnAction(nAction);
}

void CInstrumentSelectionDialog::OnAction(ESelectionAction nAction) {
    if (nAction == ESelectionAction::Rename) {
        OnRenameInstrument();
    }
}

void CInstrumentSelectionDialog::OnRenameInstrument() {
    const std::optional<CMolvarInstrument> instrument = ChooseInstrument(ESelectionAction::Rename);
    if (!instrument) {
        return;
    }
    if (instrument->IsBusy()) {
        ShowMessage(FromWide(SelectionActionTexts(ESelectionAction::Rename).strInUseMessage),
                    EMessageIcon::Exclamation);
        return;
    }
    m_context.RunRenameInstrument(*instrument, this);
    OnNameWindowClosed();
}

void CInstrumentSelectionDialog::OnNameWindowClosed() {
    // So that the rows show the outcome at the end of this collection, unless one is running.
    Act(m_cycle.Refresh());
}

bool CInstrumentSelectionDialog::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pInstrumentList->viewport() &&
        (pEvent->type() == QEvent::MouseButtonDblClick ||
         pEvent->type() == QEvent::MouseButtonRelease)) {
        const auto* pMouse = static_cast<const QMouseEvent*>(pEvent);
        const bool bDoubleClick =
            pEvent->type() == QEvent::MouseButtonDblClick && pMouse->button() == Qt::LeftButton;
        // On release, once the press has selected the row under the pointer.
        const bool bRightClick =
            pEvent->type() == QEvent::MouseButtonRelease && pMouse->button() == Qt::RightButton;
        if (bDoubleClick || bRightClick) {
            // After the list has handled the click itself, as its notification would come.
            const ESelectionAction nAction = m_traits.nListAction;
            QMetaObject::invokeMethod(
                this,
                [this, nAction] {
                    if (isVisible()) {
                        RunAction(nAction);
                    }
                },
                Qt::QueuedConnection);
        }
    }
    return CDialog::eventFilter(pWatched, pEvent);
}

void CInstrumentSelectionDialog::ShowMessage(const QString& strText, EMessageIcon nIcon) {
    ShowMessageBox(this, strText, CAPTION, nIcon);
}
