#include "tests/support/LoopbackApplication.h"

#include <gtest/gtest.h>

SSimulatedInstrument LoopbackInstrument(std::size_t nIndex, const std::string& strName,
                                        const std::string& strHostName) {
    SSimulatedInstrument instrument;
    instrument.strHostName = strHostName;
    instrument.strName = strName;
    instrument.dwAddress = CLoopbackApplication::InstrumentAddress(nIndex);
    return instrument;
}

namespace {
SLoopbackOptions WithInstruments(std::vector<SSimulatedInstrument> listInstruments) {
    SLoopbackOptions options;
    options.listInstruments = std::move(listInstruments);
    return options;
}
} // namespace

CLoopbackApplication::CLoopbackApplication(std::vector<SSimulatedInstrument> listInstruments)
    : CLoopbackApplication(WithInstruments(std::move(listInstruments))) {}

CLoopbackApplication::CLoopbackApplication(SLoopbackOptions options) {
    m_nAppPort = options.nAppPort != 0 ? options.nAppPort : FreeUDPPort();
    SSimulatorOptions simulatorOptions = options.simulator;
    simulatorOptions.nPort = 0;
    simulatorOptions.nClientPort = m_nAppPort;
    m_pSimulator = std::make_unique<CInstrumentSimulator>(std::move(options.listInstruments),
                                                          std::move(simulatorOptions));
    if (options.bStartSimulator) {
        EXPECT_TRUE(m_pSimulator->Start()) << "the simulator could not open its socket";
        m_nSimulatorPort = m_pSimulator->Port();
    } else {
        m_nSimulatorPort = FreeUDPPort(); // nobody listens there
    }
    m_pApplication = std::make_unique<CMolvarInstrumentConnectionApplication>(
        options.adapters, m_nAppPort, m_nSimulatorPort);
}

CLoopbackApplication::~CLoopbackApplication() {
    m_pApplication.reset(); // stops the link first, so nothing arrives for a window any more
    m_pSimulator->Stop();
}

void CLoopbackApplication::StoreConfiguration(const SConfiguration& configuration) {
    EXPECT_TRUE(CConfigurationStore::Save(configuration));
}

SConfiguration CLoopbackApplication::StoredConfiguration() const {
    SConfiguration configuration;
    CConfigurationStore::Load(configuration);
    return configuration;
}

bool CLoopbackApplication::SendToApplication(std::span<const std::uint8_t> datagram,
                                             std::uint32_t dwFromAddress) {
    return SendDatagramFrom(dwFromAddress, m_nAppPort, datagram);
}
