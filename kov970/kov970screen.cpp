#include "kov970/kov970screen.h"

#include "common/text.h"

namespace kov::kov970 {

Kov970View::~Kov970View() = default;

void Kov970View::runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work)
{
    rt.doEvents();
    work();
    rt.doEvents();
}

const std::array<std::string, 3> Kov970Screen::kFileEntries = {"1:管理マスタ", "2:職員マスタ", "3:所属マスタ"};

Kov970Screen::Kov970Screen(ProgramContext& ctx, DriveServices& drives) : bas(ctx, drives), m_ctx(ctx)
{
    m_ctx.com.setScreenCaption(kCaption);
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
    const std::string drive =
        driveIndex >= 0 && driveIndex < static_cast<int>(cboDriveList.size())
            ? text::trim(cboDriveList[static_cast<std::size_t>(driveIndex)])
            : std::string();
    if (drive.empty() || bas.prfDiskCheck(drive) == -1) {
        message("リムーバブルメディアがセットされていないか又は、初期化されていません。", MsgIcon::Exclamation);
        m_view->setSelectEnabled(true);
        return false;
    }
    bool clear = false;
    // A floppy disk (or smaller) that holds entries is cleared after the clerk agrees;
    // a larger medium keeps what it holds.
    if (bas.DiskFreeBytes + bas.DiskUsedBytes <= kFloppyBytes) {
        const auto entries = bas.drives().rootEntries(drive);
        if (entries && !entries->empty()) {
            const MsgResult answer = m_ctx.runtime().msgBox(
                "一部使用されたフロッピーがセットされています。[ " + drive + " ]\r\n上書きしてもよろしいですか？",
                MsgIcon::Question, MsgButtons::YesNo, kCaption);
            if (answer != MsgResult::Yes) {
                m_view->setSelectEnabled(true);
                return false;
            }
            clear = true;
        }
    }
    std::optional<std::string> failure;
    m_view->runWithWaitScreen(m_ctx.runtime(), [&] {
        if (clear) bas.prsDeleteAll(drive + "*.*");
        switch (fileIndex) {
        case 0: failure = prsKANRI(drive); break;
        case 1: failure = prsSYOKU(drive); break;
        default: failure = prsSYOZK(drive); break;
        }
    });
    if (failure) {
        message(*failure, MsgIcon::Stop);
        m_view->setSelectEnabled(true);
        return false;
    }
    m_writtenDrive = drive;
    return true;
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
