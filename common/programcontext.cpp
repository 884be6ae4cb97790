#include "common/programcontext.h"

namespace kov {

using dataaccess::clsDbAccess;
using dataaccess::clsTbAccess;

ProgramContext::ProgramContext(RuntimeServices& rt, std::string programName)
    : cmnName(rt), m_rt(rt), m_programName(std::move(programName))
{
}

ProgramContext::~ProgramContext() = default;

void ProgramContext::createConnection()
{
    KOV = dataaccess::CreateObjectAs<clsDbAccess>(dataaccess::kProgIdDbAccess);
}

void ProgramContext::releaseConnection() { KOV.reset(); }

void ProgramContext::prsDbOpen(const std::string& iniName)
{
    KOV->setDBIniNameString(iniName);
    check(KOV->DAO_DBOpen());
}

void ProgramContext::prsDbClose() { check(KOV->DAO_DBClose()); }

std::unique_ptr<clsTbAccess> ProgramContext::newTable(const std::string& tableName) const
{
    auto table = dataaccess::CreateObjectAs<clsTbAccess>(dataaccess::kProgIdTbAccess);
    table->setTBDatabase(KOV->DBDatabase());
    table->setTBNameString(tableName);
    return table;
}

std::int16_t ProgramContext::openChecked(clsTbAccess& table, const std::string& criteria, const std::string& order)
{
    const std::int16_t rows = table.DAO_TableOpen(criteria, order);
    check(rows);
    return rows;
}

void ProgramContext::closeChecked(clsTbAccess& table) { check(table.DAO_TableClose()); }

void ProgramContext::beginReads()
{
    if (m_reads) return;
    m_reads = std::make_unique<dataaccess::ReadRun>(KOV.get());
    cmnName.beginRun();
}

void ProgramContext::endReads()
{
    if (!m_reads) return;
    m_reads.reset();
    cmnName.endRun();
}

} // namespace kov
