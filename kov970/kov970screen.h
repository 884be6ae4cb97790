#pragma once
// frmKov970 as plain logic: the drive and master choices, the backup of F12 (prfFPDOUT)
// with its medium checks, the question for a used floppy disk and the three writers,
// and the end key. The Qt widget (kov970/frmkov970) shows it and forwards key presses.
#include "common/screenview.h"
#include "kov970/baskov970.h"
#include "kov970/csvexport.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kov::kov970 {

// How the screen is shown; the widget implements it, tests may use the defaults.
class Kov970View : public WaitScreenView {
public:
    ~Kov970View() override;
    virtual void refreshDrives() {} // cboDriveList or its selection changed
    virtual void setSelectEnabled(bool) {} // fraSelect
    virtual void setKeysEnabled(bool) {} // buttons 9 and 11
    virtual void focusFileList() {} // cboFile
};

class Kov970Screen {
public:
    Kov970Screen(ProgramContext& ctx, DriveServices& drives);
    Kov970Screen(const Kov970Screen&) = delete;
    Kov970Screen& operator=(const Kov970Screen&) = delete;

    void setView(Kov970View* view) { m_view = view ? view : &m_nullView; }
    ProgramContext& context() const { return m_ctx; }

    // The entries of cboFile.
    static const std::array<std::string, 3> kFileEntries;

    BasKov970 bas;
    std::vector<std::string> cboDriveList;
    int driveIndex = -1;
    int fileIndex = -1; // cboFile; none selected at start

    // The start before the screen shows: the connection, then the drive list.
    void start();
    // F12's backup: true when the chosen master has been written.
    bool prfFPDOUT();
    // The action of a key: 9 ends, 11 backs up and ends after a successful backup.
    void prsPfAction(int index);

private:
    enum class Backup { Written, Failed, NoMedium };
    // The chosen master made whole, then, while the drive still holds the medium `asked`
    // (cleared first when `clear`), written onto it. `failure` receives the message.
    Backup backUp(const std::string& drive, const MediumIdentity& asked, bool clear,
                  std::optional<std::string>& failure);
    void message(const std::string& text, MsgIcon icon);

    ProgramContext& m_ctx;
    Kov970View m_nullView;
    Kov970View* m_view = &m_nullView;
    // The last backup: its master, drive and number of records.
    Master m_writtenMaster = Master::Kanri;
    std::string m_writtenDrive;
    long m_writtenRecords = 0;
};

} // namespace kov::kov970
