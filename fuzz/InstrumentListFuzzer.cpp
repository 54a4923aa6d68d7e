// The instrument record's decoding and the instrument list: an input is a sequence of steps on
// two lists (discovery replies merged, a reply seen before merged again with one field changed,
// copies either way and onto itself, clearing, lookups by row). After every step each list must
// be sorted by address with one record per address, hold what a plain map of the merged records
// holds (a record from a new address dropped and counted once the list is full), and answer
// every row up to its count and none beyond. The lists hold few records, so that the inputs
// reach the bound; the windows' lists hold 65535.
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "model/InstrumentList.h"

#include <array>
#include <map>
#include <vector>

namespace {

using Model = std::map<std::uint32_t, CMolvarInstrument>;

constexpr int MAX_STEPS = 64;
constexpr std::uint32_t MAX_INSTRUMENTS = 12;

enum EStep : std::uint8_t {
    STEP_MERGE_REPLY,   // the next 202 bytes as a description
    STEP_MERGE_CHANGED, // an earlier record, one field changed
    STEP_COPY_TO_SECOND,
    STEP_COPY_TO_FIRST,
    STEP_COPY_ONTO_ITSELF,
    STEP_CLEAR,
    STEP_LOOK_UP,
    STEP_COUNT
};

CMolvarInstrument Decode(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE> abDescription{};
    std::copy(bytes.begin(), bytes.end(), abDescription.begin());
    return CMolvarInstrument::FromDescription(std::span(abDescription));
}

CMolvarInstrument Changed(CMolvarInstrument instrument, std::uint8_t nField, std::uint8_t nValue) {
    const char szText[2] = {static_cast<char>(nValue), '\0'};
    switch (nField % 7) {
    case 0:
        instrument.m_bInUse = nValue;
        break;
    case 1:
        instrument.m_bClaimed = nValue;
        break;
    case 2:
        instrument.SetHostName(szText);
        break;
    case 3:
        instrument.SetName(szText);
        break;
    case 4:
        instrument.SetOwnerHostName(szText);
        break;
    case 5:
        instrument.m_dwOwnerIPAddress ^= nValue;
        break;
    default:
        instrument.m_dwIPAddress ^= nValue; // another instrument, or a neighbour's address
        break;
    }
    return instrument;
}

void CheckList(const CInstrumentList& list, const Model& model) {
    FUZZ_CHECK(list.GetCount() == model.size());
    const std::uint32_t nCount = list.GetCount();
    std::uint32_t nRow = 0;
    auto itModel = model.begin();
    const CMolvarInstrument* pPrevious = nullptr;
    for (const CMolvarInstrument& instrument : list) {
        FUZZ_CHECK(itModel != model.end());
        FUZZ_CHECK(CMolvarInstrument::IsEqual(instrument, itModel->second) == 1);
        if (pPrevious != nullptr) {
            FUZZ_CHECK(pPrevious->m_dwIPAddress < instrument.m_dwIPAddress);
        }
        // Rows by lookup agree with the iteration: the first, the last and one between.
        if (nRow == 0 || nRow + 1 == nCount || nRow == nCount / 2) {
            FUZZ_CHECK(list.GetAt(nRow) == &instrument);
        }
        pPrevious = &instrument;
        ++itModel;
        ++nRow;
    }
    FUZZ_CHECK(nRow == nCount);
    FUZZ_CHECK(list.GetAt(nRow) == nullptr);
    FUZZ_CHECK(list.GetAt(nRow + 1000) == nullptr);
}

void Merge(CInstrumentList& list, Model& model, const CMolvarInstrument& instrument) {
    std::vector<const CMolvarInstrument*> listBefore;
    for (const CMolvarInstrument& r : list) {
        listBefore.push_back(&r);
    }
    const auto itKnown = model.find(instrument.m_dwIPAddress);
    const bool bNothingNew =
        itKnown != model.end() && CMolvarInstrument::IsEqual(itKnown->second, instrument) == 1;
    const bool bFull = itKnown == model.end() && model.size() >= MAX_INSTRUMENTS;
    const std::uint64_t nDroppedBefore = list.GetDroppedCount();
    list.MergeDiscovered(instrument);
    FUZZ_CHECK(list.GetDroppedCount() == nDroppedBefore + (bFull ? 1 : 0));
    if (bNothingNew || bFull) {
        // A reply that brings nothing new, or a new address when the list is full, leaves the
        // very records in place.
        std::size_t i = 0;
        for (const CMolvarInstrument& r : list) {
            FUZZ_CHECK(i < listBefore.size() && listBefore[i] == &r);
            ++i;
        }
        FUZZ_CHECK(i == listBefore.size());
        return;
    }
    model.insert_or_assign(instrument.m_dwIPAddress, instrument);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t nSize) {
    CFuzzInput input(pbData, nSize);
    CInstrumentList listFirst(MAX_INSTRUMENTS);
    CInstrumentList listSecond(MAX_INSTRUMENTS);
    Model modelFirst;
    Model modelSecond;
    std::vector<CMolvarInstrument> listSeen;

    // Enough steps for lists longer than a segment usually has; longer inputs add nothing.
    for (int nStep = 0; nStep < MAX_STEPS && !input.IsEmpty(); ++nStep) {
        switch (input.Byte() % STEP_COUNT) {
        case STEP_MERGE_REPLY: {
            const CMolvarInstrument instrument = Decode(input.Take(INSTRUMENT_DESCRIPTION_SIZE));
            listSeen.push_back(instrument);
            Merge(listFirst, modelFirst, instrument);
            break;
        }
        case STEP_MERGE_CHANGED: {
            const std::uint8_t nIndex = input.Byte();
            const std::uint8_t nField = input.Byte();
            const std::uint8_t nValue = input.Byte();
            if (listSeen.empty()) {
                break;
            }
            const CMolvarInstrument instrument =
                Changed(listSeen[nIndex % listSeen.size()], nField, nValue);
            listSeen.push_back(instrument);
            Merge(listFirst, modelFirst, instrument);
            break;
        }
        case STEP_COPY_TO_SECOND: // the source is checked unchanged below
            listSecond.CopyFrom(listFirst);
            modelSecond = modelFirst;
            break;
        case STEP_COPY_TO_FIRST:
            listFirst.CopyFrom(listSecond);
            modelFirst = modelSecond;
            break;
        case STEP_COPY_ONTO_ITSELF:
            listFirst.CopyFrom(listFirst);
            break;
        case STEP_CLEAR:
            listFirst.Clear();
            modelFirst.clear();
            break;
        case STEP_LOOK_UP: {
            const std::uint16_t nRow = input.Word();
            const CMolvarInstrument* pFound = listFirst.GetAt(nRow);
            FUZZ_CHECK((pFound != nullptr) == (nRow < listFirst.GetCount()));
            break;
        }
        default:
            break;
        }
        CheckList(listFirst, modelFirst);
        CheckList(listSecond, modelSecond);
    }
    return 0;
}
