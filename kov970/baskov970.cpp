#include "kov970/baskov970.h"

namespace kov::kov970 {

void BasKov970::prsOpenConnection()
{
    m_ctx.createConnection();
    tbAccess = dataaccess::CreateObjectAs<dataaccess::clsTbAccess>(dataaccess::kProgIdTbAccess);
    m_ctx.prsDbOpen("KOV.INI");
}

void BasKov970::prsCloseEnd()
{
    m_ctx.prsDbClose();
    m_ctx.releaseConnection();
    m_ctx.runtime().endProgram(0);
}

void BasKov970::prsDriveList(std::vector<std::string>& cboDriveList, int& listIndex)
{
    cboDriveList.clear();
    for (const std::string& root : m_drives.logicalDrives())
        if (m_drives.driveType(root) == DriveType::Removable) cboDriveList.push_back(" " + root);
    if (cboDriveList.empty())
        throw ProgramStop("選択可能なドライブが見つかりません。\r\n\r\n処理を中止します。", MsgIcon::Stop, kCaption);
    listIndex = 0;
}

std::int16_t BasKov970::prfDiskCheck(const std::string& root)
{
    const auto space = m_drives.diskSpace(root);
    if (!space) return -1;
    DiskUsedBytes = space->usedBytes;
    DiskFreeBytes = space->freeBytes;
    if (DiskFreeBytes == 0) return 0;
    return DiskUsedBytes == 0 ? 2 : 1;
}

void BasKov970::prsDeleteAll(const std::string& pattern, const MediumIdentity& expected)
{
    std::string root = pattern;
    if (root.ends_with("*.*")) root.resize(root.size() - 3);
    deleteResult = m_drives.deleteAll(root, expected);
}

} // namespace kov::kov970
