// The application on loopback, for window tests: a fresh settings home, an instrument simulator
// and the application object (its link bound to a free port), all gone with the object.
//
//   CLoopbackApplication lab({LoopbackInstrument(0, "Lab-1", "inst1")});   // at 127.0.0.2
//   lab.StoreConfiguration({"Lab-1", "inst1", lab.InstrumentAddress(0)});  // before InitInstance
//   CMessageBoxRecorder boxes;
//   CModalRunHook hook([&](CDialog& dlg) { ... dlg.EndDialog(0); });
//   lab.App().InitInstance();                        // runs the main connection window
//   lab.Simulator().CountRequests(MSG_VERIFY);
//   lab.SendToApplication(bytes, 0x7F000009);          // a raw datagram from 127.0.0.9
//
// The adapter list is {"lo-test (test)", 127.0.0.1, 255.0.0.0}, so the application's broadcast
// address is 127.255.255.255 and every instrument of the simulator hears it. Only one
// CLoopbackApplication may live at a time (the link is a single instance).
#pragma once

#include "app/ConfigurationStore.h"
#include "app/MolvarInstrumentConnectionApplication.h"
#include "sim/InstrumentSimulator.h"
#include "tests/support/LoopbackNetwork.h"
#include "tests/support/TestSettingsHome.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct SLoopbackOptions {
    std::vector<SSimulatedInstrument> listInstruments;
    SSimulatorOptions simulator; // its ports are chosen by the lab
    bool bStartSimulator = true;
    NetworkAdapterListing adapters = LoopbackAdapterList();
    std::uint16_t nAppPort = 0; // the application's port; 0: a free one
};

// An instrument of the simulator at 127.0.0.(2 + nIndex), free and unclaimed.
SSimulatedInstrument LoopbackInstrument(std::size_t nIndex, const std::string& strName,
                                        const std::string& strHostName);

class CLoopbackApplication {
public:
    explicit CLoopbackApplication(std::vector<SSimulatedInstrument> listInstruments = {});
    explicit CLoopbackApplication(SLoopbackOptions options);
    ~CLoopbackApplication();
    CLoopbackApplication(const CLoopbackApplication&) = delete;
    CLoopbackApplication& operator=(const CLoopbackApplication&) = delete;

    CMolvarInstrumentConnectionApplication& App() { return *m_pApplication; }
    CUDPInstrumentInterface& Link() { return *m_pApplication->m_pInstrumentInterface; }
    CInstrumentSimulator& Simulator() { return *m_pSimulator; }
    CTestSettingsHome& SettingsHome() { return m_settingsHome; }
    std::uint16_t AppPort() const { return m_nAppPort; }
    std::uint16_t SimulatorPort() const { return m_nSimulatorPort; }
    static std::uint32_t InstrumentAddress(std::size_t nIndex) {
        return LOOPBACK_ADDRESS + 1 + static_cast<std::uint32_t>(nIndex);
    }

    // What InitInstance will load (written under all three keys).
    void StoreConfiguration(const SConfiguration& configuration);
    // What the store holds under "Software\Tavik" now (after InitInstance: what it saved).
    SConfiguration StoredConfiguration() const;

    // A raw datagram (header included) to the application's port, from 127.0.0.x.
    bool SendToApplication(std::span<const std::uint8_t> datagram,
                           std::uint32_t dwFromAddress = InstrumentAddress(0));

private:
    CTestSettingsHome m_settingsHome;
    std::uint16_t m_nAppPort = 0;
    std::uint16_t m_nSimulatorPort = 0;
    std::unique_ptr<CInstrumentSimulator> m_pSimulator;
    std::unique_ptr<CMolvarInstrumentConnectionApplication> m_pApplication;
};
