#include "common/programcontext.h"

#include "common/gaiji.h"
#include "common/runtimeservices.h"

#include <exception>

namespace kov {

using dataaccess::clsDbAccess;
using dataaccess::clsTbAccess;

ProgramContext::ProgramContext(RuntimeServices& rt, std::string programName)
    : m_rt(rt), m_programName(std::move(programName)), m_names(rt)
{
    // The office's gaiji table lies beside KOV.INI; it is read when a text first needs it.
    gaiji::useSettingsFolder(settingsFolder(rt.appPath()));
}

ProgramContext::~ProgramContext() = default;

void ProgramContext::createConnection()
{
    m_kov = dataaccess::CreateObjectAs<clsDbAccess>(dataaccess::kProgIdDbAccess);
}

void ProgramContext::releaseConnection() { m_kov.reset(); }

void ProgramContext::prsDbOpen(const std::string& iniName)
{
    m_kov->setDBIniNameString(iniName);
    check(m_kov->DAO_DBOpen());
}

void ProgramContext::check(std::int16_t status, const dataaccess::ComObject* from)
{
    if (status >= 0) return;
    if (!from) from = m_kov.get();
    m_com.prsStatusCheck(status, 0, from ? from->failureDetail(status) : std::string());
}

void ProgramContext::prsDbClose() { check(m_kov->DAO_DBClose()); }

void ProgramContext::bindTable(clsTbAccess& table, const std::string& tableName) const
{
    table.setTBDatabase(m_kov->DBDatabase());
    table.setTBNameString(tableName);
}

std::unique_ptr<clsTbAccess> ProgramContext::newTable(const std::string& tableName) const
{
    auto table = dataaccess::CreateObjectAs<clsTbAccess>(dataaccess::kProgIdTbAccess);
    bindTable(*table, tableName);
    return table;
}

std::int16_t ProgramContext::openChecked(clsTbAccess& table, const std::string& criteria, const std::string& order)
{
    const std::int16_t rows = table.DAO_TableOpen(criteria, order);
    check(rows, &table);
    return rows;
}

void ProgramContext::closeChecked(clsTbAccess& table) { check(table.DAO_TableClose(), &table); }

void ProgramContext::beginReads()
{
    if (m_reads) return;
    m_reads = std::make_unique<dataaccess::ReadRun>(m_kov.get());
    m_names.beginRun();
}

void ProgramContext::endReads()
{
    if (!m_reads) return;
    m_reads.reset();
    m_names.endRun();
}

OpenTable::OpenTable(ProgramContext& ctx, const std::string& tableName, const std::string& criteria,
                     const std::string& order)
    : m_ctx(ctx), m_table(ctx.newTable(tableName)), m_errorsInFlight(std::uncaught_exceptions())
{
    m_rows = m_ctx.openChecked(*m_table, criteria, order);
}

OpenTable::~OpenTable() noexcept(false)
{
    if (std::uncaught_exceptions() > m_errorsInFlight) return;
    // Released after the close whatever its status: the check may end the program.
    const std::unique_ptr<clsTbAccess> table = std::move(m_table);
    m_ctx.closeChecked(*table);
}

} // namespace kov
