#pragma once
// What a program owns once for its whole run: the runtime services, the status check
// (ComTessera), the name settings (BasCmnName) and the connection object KOV with its
// open and close routines. Screens and print runs reach every shared module through
// it; a program creates one in its start routine and keeps it until it ends.
#include "common/cmnname.h"
#include "common/comtessera.h"
#include "common/dataaccess/dataaccess.h"
#include "common/runtimeservices.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kov {

class ProgramContext {
public:
    // programName: the program's own name ("kov120"), used for its work folder.
    ProgramContext(RuntimeServices& rt, std::string programName);
    virtual ~ProgramContext();
    ProgramContext(const ProgramContext&) = delete;
    ProgramContext& operator=(const ProgramContext&) = delete;

    RuntimeServices& runtime() const { return m_rt; }
    const std::string& programName() const { return m_programName; }

    ComTessera com;
    BasCmnName cmnName;

    // The connection object: created by createConnection (the screen's load step),
    // released by releaseConnection (its unload step) without closing anything.
    std::unique_ptr<dataaccess::clsDbAccess> KOV;
    void createConnection();
    void releaseConnection();

    // Opens KOV on iniName ("KOV.INI"); a failing status ends the program.
    void prsDbOpen(const std::string& iniName = "KOV.INI");
    // Closes KOV; a failing status ends the program.
    void prsDbClose();

    // A new table object on the open connection, named `tableName` (not yet opened).
    std::unique_ptr<dataaccess::clsTbAccess> newTable(const std::string& tableName) const;
    // Opens `table` on its name with criteria and order; a failing status ends the
    // program. Returns the row count of the open (0 = no row).
    std::int16_t openChecked(dataaccess::clsTbAccess& table, const std::string& criteria,
                             const std::string& order = {});
    // Closes `table`; a failing status ends the program.
    void closeChecked(dataaccess::clsTbAccess& table);
    // A status that must not fail (0 and positive pass).
    void check(std::int16_t status) { com.prsStatusCheck(status, 0); }

private:
    RuntimeServices& m_rt;
    std::string m_programName;
};

} // namespace kov
