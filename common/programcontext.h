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
    ComTessera& comTessera() { return m_com; }
    BasCmnName& cmnName() { return m_names; }

    // The caption of the program's main screen, set once by the screen: the title of the
    // status check's boxes (while no names give one) and of the print engine's messages.
    void setScreenCaption(const std::string& caption) { m_com.setScreenCaption(caption); }
    const std::string& screenCaption() const { return m_com.screenCaption(); }

    // The connection object KOV, owned here alone: created by createConnection (the
    // screen's load step) and released by releaseConnection (its unload step). Closing
    // is prsDbClose's alone (the end key): the unload step and a failing status close
    // nothing, so the release does not close either.
    void createConnection();
    void releaseConnection();
    bool hasConnection() const { return m_kov != nullptr; }

    // Opens KOV on iniName ("KOV.INI"); a failing status ends the program.
    void prsDbOpen(const std::string& iniName = "KOV.INI");
    // Closes KOV; a failing status ends the program.
    void prsDbClose();

    // Puts `table` on the open connection under the name `tableName` (not yet opened).
    void bindTable(dataaccess::clsTbAccess& table, const std::string& tableName) const;
    // A new table object on the open connection, named `tableName` (not yet opened).
    std::unique_ptr<dataaccess::clsTbAccess> newTable(const std::string& tableName) const;
    // Opens `table` on its name with criteria and order; a failing status ends the
    // program. Returns the row count of the open (0 = no row).
    std::int16_t openChecked(dataaccess::clsTbAccess& table, const std::string& criteria,
                             const std::string& order = {});
    // Closes `table`; a failing status ends the program.
    void closeChecked(dataaccess::clsTbAccess& table);
    // A status that must not fail (0 and positive pass). The message carries the cause
    // that `from` (the object that gave the status; KOV when null) keeps of it.
    void check(std::int16_t status, const dataaccess::ComObject* from = nullptr);

    // The reads of one print run or export, from beginReads to endReads: KOV reads one
    // state of the database (DAO_ReadBegin) and the name settings are read once. Runs
    // hold a Reads for their whole length, so that a run-time error or a program end
    // on the way ends them too; endReads may end them earlier (before the hand-over to
    // the print engine). Neither nests.
    void beginReads();
    void endReads();
    bool inReads() const { return m_reads != nullptr; }
    class Reads {
    public:
        explicit Reads(ProgramContext& ctx) : m_ctx(ctx) { m_ctx.beginReads(); }
        ~Reads() { m_ctx.endReads(); }
        Reads(const Reads&) = delete;
        Reads& operator=(const Reads&) = delete;

    private:
        ProgramContext& m_ctx;
    };

private:
    RuntimeServices& m_rt;
    std::string m_programName;
    ComTessera m_com;
    BasCmnName m_names;
    std::unique_ptr<dataaccess::clsDbAccess> m_kov;
    std::unique_ptr<dataaccess::ReadRun> m_reads;
};

// A table of the connection open on a criteria and an order for as long as its owner
// keeps it: the constructor opens it (a failing status goes to the status check) and
// the destructor closes it (status checked) and releases it. When an error or a
// program end leaves the owner's scope, the destructor only releases the object: a
// failure ends the program without closing anything.
class OpenTable {
public:
    OpenTable(ProgramContext& ctx, const std::string& tableName, const std::string& criteria,
              const std::string& order = {});
    ~OpenTable() noexcept(false);
    OpenTable(const OpenTable&) = delete;
    OpenTable& operator=(const OpenTable&) = delete;

    dataaccess::clsTbAccess& table() const { return *m_table; }
    // The row count of the open (0 = no row; capped at 32767).
    std::int16_t rows() const { return m_rows; }

private:
    ProgramContext& m_ctx;
    std::unique_ptr<dataaccess::clsTbAccess> m_table;
    std::int16_t m_rows = 0;
    int m_errorsInFlight; // std::uncaught_exceptions() when opened
};

} // namespace kov
