#include "kov970/kov970screen.h"

#include "common/text.h"

#include <unistd.h>

namespace kov::kov970 {

Kov970View::~Kov970View() = default;

namespace {
constexpr const char* kNoMedium = "リムーバブルメディアがセットされていないか又は、初期化されていません。";

// A byte count with thousands separators: "1,457,664".
std::string grouped(std::uint64_t n)
{
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}
} // namespace

const std::array<std::string, 3> Kov970Screen::kFileEntries = {"1:管理マスタ", "2:職員マスタ", "3:所属マスタ"};

Kov970Screen::Kov970Screen(ProgramContext& ctx, DriveServices& drives) : bas(ctx, drives), m_ctx(ctx)
{
    m_ctx.setScreenCaption(kCaption);
}

void Kov970Screen::message(const std::string& text, MsgIcon icon)
{
    m_ctx.runtime().msgBox(text, icon, MsgButtons::Ok, kCaption);
}

void Kov970Screen::start()
{
    bas.prsOpenConnection();
    bas.prsDriveList(cboDriveList, driveIndex);
    m_view->refreshDrives();
}

bool Kov970Screen::prfFPDOUT()
{
    if (fileIndex < 0 || fileIndex >= static_cast<int>(kFileEntries.size())) {
        message("退避マスタが選択されていません。", MsgIcon::Exclamation);
        m_view->focusFileList();
        return false;
    }
    m_view->setSelectEnabled(false);
    const std::string drive = driveIndex >= 0 && driveIndex < static_cast<int>(cboDriveList.size())
                                  ? text::trim(cboDriveList[static_cast<std::size_t>(driveIndex)])
                                  : std::string();
    const std::optional<MediumIdentity> asked = drive.empty() ? std::nullopt : bas.drives().medium(drive);
    if (!asked || bas.prfDiskCheck(drive) == -1) {
        message(kNoMedium, MsgIcon::Exclamation);
        m_view->setSelectEnabled(true);
        return false;
    }
    bool clear = false;
    // A floppy disk (or smaller) that holds entries is cleared after the clerk agrees;
    // a larger medium keeps what it holds.
    if (bas.DiskFreeBytes + bas.DiskUsedBytes <= kFloppyBytes) {
        const auto entries = bas.drives().rootEntries(drive);
        if (entries && !entries->empty()) {
            const MsgResult answer = m_ctx.runtime().msgBox("一部使用されたフロッピーがセットされています。[ " + drive +
                                                                " ]\r\n上書きしてもよろしいですか？",
                                                            MsgIcon::Question, MsgButtons::YesNo, kCaption);
            if (answer != MsgResult::Yes) {
                m_view->setSelectEnabled(true);
                return false;
            }
            clear = true;
        }
    }
    std::optional<std::string> failure;
    Backup done = Backup::Failed;
    m_view->runWithWaitScreen(m_ctx.runtime(), [&] { done = backUp(drive, *asked, clear, failure); });
    if (done == Backup::Written) return true;
    if (done == Backup::NoMedium) message(kNoMedium, MsgIcon::Exclamation);
    else message(*failure, MsgIcon::Stop);
    m_view->setSelectEnabled(true);
    return false;
}

Kov970Screen::Backup Kov970Screen::backUp(const std::string& drive, const MediumIdentity& asked, bool clear,
                                          std::optional<std::string>& failure)
{
    // Every failure of the data comes before the medium is touched.
    const Master master = static_cast<Master>(fileIndex);
    CsvContent csv(m_ctx.programName());
    if ((failure = makeMasterCsv(m_ctx, master, drive, csv, &m_writtenRecords))) return Backup::Failed;
    m_writtenMaster = master;
    m_writtenDrive = drive;

    // The drive must still hold the medium the clerk was asked about (or that was checked):
    // not another one put in meanwhile, nor the bare folder of a drive without one.
    const auto now = bas.drives().medium(drive);
    const auto space = bas.drives().diskSpace(drive);
    if (!now || *now != asked || !space || (clear && now->totalBytes > kFloppyBytes)) return Backup::NoMedium;
    if (clear) {
        const std::uint64_t unit = space->blockBytes ? space->blockBytes : 1;
        const std::uint64_t needed = (csv.size() + unit - 1) / unit * unit;
        const std::uint64_t capacity = space->freeBytes + space->usedBytes;
        if (needed > capacity) {
            failure = notDoneText(failedText(master, drive) + "ファイルの大きさ " + grouped(csv.size()) +
                                  " バイトは、空にしたフロッピーにも入りません（容量 " + grouped(capacity) +
                                  " バイト）。\r\nフロッピーの内容は消していません。");
            return Backup::Failed;
        }
        bas.prsDeleteAll(drive + "*.*", asked);
    }
    const int dir = openMediumRoot(drive, asked);
    if (dir < 0) return Backup::NoMedium;
    failure = writeMasterCsv(master, drive, dir, csv);
    ::close(dir);
    return failure ? Backup::Failed : Backup::Written;
}

void Kov970Screen::prsPfAction(int index)
{
    if (index == 9) bas.prsCloseEnd();
    if (index != 11) return;
    m_view->setKeysEnabled(false);
    if (prfFPDOUT()) {
        // The program ends at once: the desktop says that the backup is done.
        m_ctx.runtime().notify(kCaption, masterFile(m_writtenMaster).fileName + " を " + m_writtenDrive +
                                             " に退避しました（" + std::to_string(m_writtenRecords) + " 件）");
        bas.prsCloseEnd();
    }
    m_view->setKeysEnabled(true);
}

} // namespace kov::kov970
