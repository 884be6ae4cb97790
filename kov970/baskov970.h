#pragma once
// basKov970: the connection of kov970 and its drive routines (the drive list, the
// medium check, clearing a used floppy disk), over the drive functions of the platform.
#include "common/dataaccess/dataaccess.h"
#include "common/programcontext.h"
#include "kov970/drives.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kov::kov970 {

// The caption of the screen, the title of every message of the program.
inline constexpr const char* kCaption = "マスタ退避処理";

class BasKov970 {
public:
    BasKov970(ProgramContext& ctx, DriveServices& drives) : m_ctx(ctx), m_drives(drives) {}

    // Creates the connection object and a table object (kept), opens "KOV.INI".
    void prsOpenConnection();
    // Closes the connection, releases it and ends the program (status 0).
    void prsCloseEnd();
    // Fills the drive list with " " + root of every removable drive and selects the first;
    // with none, raises the stop with its message (the program ends).
    void prsDriveList(std::vector<std::string>& cboDriveList, int& listIndex);
    // −1 when the drive cannot be queried, else 0 (no free space), 2 (empty) or 1 (holds
    // data); sets DiskFreeBytes and DiskUsedBytes.
    std::int16_t prfDiskCheck(const std::string& root);
    // Deletes everything of the root that pattern (root + "*.*") names, while the root
    // holds the medium `expected`; the result is kept in deleteResult.
    void prsDeleteAll(const std::string& pattern, const MediumIdentity& expected);

    DriveServices& drives() const { return m_drives; }

    std::uint64_t DiskFreeBytes = 0;
    std::uint64_t DiskUsedBytes = 0;
    bool deleteResult = false;
    std::unique_ptr<dataaccess::clsTbAccess> tbAccess;

private:
    ProgramContext& m_ctx;
    DriveServices& m_drives;
};

} // namespace kov::kov970
