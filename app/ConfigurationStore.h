// The configured instrument in the per-user settings store, under the three keys where the
// other software of the instrument family looks for it. Only "Software\Tavik" is read.
#pragma once

#include <QString>
#include <cstdint>

// One key of the store: its name as the instrument family knows it, and the QSettings
// organisation and application that stand for it (per-user, native format).
struct SSettingsKey {
    const char* pszKeyName;
    const char* pszOrganization;
    const char* pszApplication; // empty: the organisation alone names the file
};

struct SConfiguration {
    QString strInstrumentName;
    QString strInstrumentHostName;
    std::uint32_t dwInstrumentIPAddress = 0;
};

class CConfigurationStore {
public:
    static constexpr SSettingsKey KEY_TAVIK{"Software\\Tavik", "Tavik", ""};
    static constexpr SSettingsKey KEY_NORVASK_TAVIK{"Software\\Norvask\\Tavik", "Norvask", "Tavik"};
    static constexpr SSettingsKey KEY_QUORITH_MOLVAR{"Software\\Quorith\\Molvar", "Quorith",
                                                     "Molvar"};
    // The order of the writes.
    static constexpr SSettingsKey SAVED_KEYS[3] = {KEY_NORVASK_TAVIK, KEY_TAVIK,
                                                   KEY_QUORITH_MOLVAR};

    static constexpr const char* VALUE_INSTRUMENT_NAME = "strInstrumentName";
    static constexpr const char* VALUE_INSTRUMENT_HOST_NAME = "strInstrumentHostName";
    static constexpr const char* VALUE_INSTRUMENT_IP_ADDRESS = "dwInstrumentIPAddress";
    // Stands for a text value that the store does not hold as a string.
    static constexpr const char* NO_VALUE_TEXT = "{none}";

    // Reads "Software\Tavik". When the key does not exist or cannot be read, the configuration
    // is left as it was and the result is false. Otherwise each text is the stored string or
    // "{none}", the address the stored unsigned 32-bit number or 0.
    static bool Load(SConfiguration& configuration);
    // Writes the configuration under every key in the order of SAVED_KEYS. A key that cannot be
    // written is reported in the log and the others are written all the same. Returns true
    // when every key was written.
    static bool Save(const SConfiguration& configuration);

    // The file that stands for a key, for messages and tests.
    static QString FileName(const SSettingsKey& key);
};
