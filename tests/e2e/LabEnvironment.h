// What an end-to-end case knows of the lab it runs in (tests/e2e/run-case sets it up): the lab's
// name and script, this computer's host name, and the configuration home. Also the guard that
// keeps the cases, which use the real adapter choice, port 19798 and subnet broadcasts, from
// ever running in this machine's own network namespace.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <gtest/gtest.h>

// The lab's fixed plan (scripts/lab): segment 10.77.1.0/24 with the client at .1 and instrument
// i at .(10+i); the second segment 10.78.1.0/24.
constexpr std::uint32_t LAB_CLIENT_ADDRESS = 0x0A4D0101;        // 10.77.1.1
constexpr std::uint32_t LAB_BROADCAST_ADDRESS = 0x0A4D01FF;     // 10.77.1.255
constexpr std::uint32_t LAB_SECOND_CLIENT_ADDRESS = 0x0A4E0101; // 10.78.1.1
constexpr std::uint32_t LAB_SECOND_BROADCAST_ADDRESS = 0x0A4E01FF;
// A farm lab (scripts/lab up --farm N): segment 10.77.8.0/21, the client at 10.77.8.1 and the
// farm's instruments at consecutive addresses from 10.77.8.10.
constexpr std::uint32_t LAB_FARM_CLIENT_ADDRESS = 0x0A4D0801; // 10.77.8.1
constexpr std::uint32_t LAB_FARM_FIRST_ADDRESS = 0x0A4D080A;  // 10.77.8.10
constexpr std::uint32_t LabInstrumentAddress(unsigned nIndex) {
    return LAB_CLIENT_ADDRESS + 9 + nIndex; // instrument 1 is 10.77.1.11
}

// One key's stored configuration as read back from its file.
struct SStoredConfiguration {
    bool bPresent = false; // the file exists
    QString strInstrumentName;
    QString strInstrumentHostName;
    QString strInstrumentIPAddress; // as written: an unsigned decimal number
};

class CLabEnvironment {
public:
    CLabEnvironment(); // reads the environment run-case sets

    // Empty when the process runs in a lab's client namespace; otherwise why not.
    QString WhyNotInsideLab() const;

    const QString& ClientHostName() const { return m_strClientHostName; }
    const QString& ConfigurationHome() const { return m_strConfigurationHome; }

    // Runs "scripts/lab COMMAND LAB ARGUMENTS..."; false (and the output in strOutput) when it
    // failed.
    bool Lab(const QString& strCommand, const QStringList& listArguments,
             QString* pstrOutput = nullptr) const;

    // "Tavik.conf", "Norvask/Tavik.conf", "Quorith/Molvar.conf" under the configuration home.
    SStoredConfiguration ReadConfiguration(const QString& strRelativePath) const;
    // Writes a configuration under "Software\Tavik" (Tavik.conf), as an earlier run would have.
    void WriteConfiguration(const QString& strName, const QString& strHostName,
                            std::uint32_t dwAddress) const;

private:
    QString m_strLabName;
    QString m_strLabScript;
    QString m_strClientHostName;
    QString m_strConfigurationHome;
};

// A test that runs only inside its lab (through tests/e2e/run-case): anywhere else it is skipped
// before anything is sent.
class CLabCase : public ::testing::Test {
protected:
    void SetUp() override {
        const QString strWhy = m_lab.WhyNotInsideLab();
        if (!strWhy.isEmpty()) {
            GTEST_SKIP() << "runs only inside a lab, through tests/e2e/run-case: "
                         << strWhy.toStdString();
        }
    }

    CLabEnvironment m_lab;
};
