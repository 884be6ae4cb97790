#pragma once
// The block report screen shared by the block report programs, as plain logic: the
// table objects on the program's connection, the block list, the processing-month and
// record checks, the selection of the payment records and the three function-key
// actions. The Qt widget (blockreport/ui) only shows this model and forwards key
// presses to it.
//
// What differs between the programs (caption, a few positions, tab order, the pay
// kinds of the block list, the record filters, the month rule and the print run) comes
// from a ScreenDescription and a BlockReportRun that each program supplies.
#include "common/dataaccess/dataaccess.h"
#include "common/pfmode.h"
#include "common/runtimeservices.h"
#include "common/screenview.h"
#include "print/printrun.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kov::blockreport {

class BlockReportRun;

// One of the 45 block slots of the block record.
struct BlockSlot {
    std::int16_t startCode = 0; // SSYOZK_nn: affiliation code of the first school; 0 = no block
    std::int16_t count = 0; // CNT_nn: number of schools
    std::int16_t payKind = 0; // KYUSYU_nn: pay kind of the block
};

// One entry of the block list lstMain.
struct ListEntry {
    std::string text;
    int itemData = 0; // the slot number 1 to 45; the print run reads this, never the text
    bool selected = false;
};

// Controls of the screen that take part in the tab order.
enum class TabStop { OptGetugaku, OptNichigaku, LstMain, Buttons, LblShori, Label5, FraKyuKbn };

// What a program tells the shared screen about itself.
struct ScreenDescription {
    std::string caption;
    int lblShoriWidth = 1620; // twips
    std::array<int, 12> buttonLefts{}; // twips, index 0 to 11
    std::vector<TabStop> tabOrder; // first to last; Buttons = buttons 0 to 11
    bool monthCheck = false; // refuse a month other than March, June, December at start
    // Whether a block slot is listed.
    std::function<bool(const BlockSlot&)> slotShown;
    // Filter of the start-up check: any payment record of the processing month.
    std::function<std::string(const std::string& month)> startFilter;
    // Filter of the print run for the processing month, the block list (blockList())
    // and the staff group.
    std::function<std::string(const std::string& month, const std::string& blocks, bool monthly)> selectFilter;
};

// The lefts of the twelve buttons: three groups of four buttons side by side, 855 twips
// apart. The block report screens share the first two groups (at 375 and 4095) and
// place the third at thirdGroupLeft.
std::array<int, 12> pfButtonLefts(int thirdGroupLeft);
// The rule of the block list: a slot is listed when it has a first school and its pay
// kind is one of payKinds.
std::function<bool(const BlockSlot&)> slotsOfPayKinds(std::vector<std::int16_t> payKinds);

// How the screen is shown; the widget implements it, tests may use the defaults.
class ScreenView : public WaitScreenView {
public:
    ~ScreenView() override;
    virtual void refreshLabel() {} // lblShori changed
    virtual void refreshList() {} // entries, their selection or the current entry changed
    virtual void setListVisible(bool) {}
    virtual void refreshKeys() {} // captions or enabled state of the buttons changed
    virtual void focusList() {}
};

class BlockReportScreen {
public:
    // ctx: the program's context, owned by its start routine and kept until the program
    // ends; the screen's connection KOV and the modules of the print run are its.
    BlockReportScreen(PrintContext& ctx, ScreenDescription description);
    ~BlockReportScreen();
    BlockReportScreen(const BlockReportScreen&) = delete;
    BlockReportScreen& operator=(const BlockReportScreen&) = delete;

    // The program's print run (what follows the selection step); set before the first print.
    void setPrintRun(std::unique_ptr<BlockReportRun> run);
    void setView(ScreenView* view) { m_view = view ? view : &m_nullView; }

    const ScreenDescription& description() const { return m_desc; }
    PrintContext& context() const { return m_ctx; }
    RuntimeServices& runtime() const { return m_ctx.runtime(); }

    // Screen state.
    const std::string& lblShori() const { return m_lblShori; }
    // The monthly-paid group (optGetugaku) is chosen; false = optNichigaku.
    bool optGetugaku() const { return m_optGetugaku; }
    void setOptGetugaku(bool monthly) { m_optGetugaku = monthly; }
    const std::vector<ListEntry>& lstMain() const { return m_lstMain; }
    // The list's current entry (-1 = none).
    int listIndex() const { return m_listIndex; }
    void setListIndex(int index) { m_listIndex = index; }
    const std::array<std::string, 12>& pfCaptions() const { return m_pfCaptions; }
    // The keys' enable table, set by prsSetPFMode.
    const ComPFMode& pfMode() const { return m_pfMode; }

    // Load step (after placing the window): creates KOV, SKKANRI, SKSYOZK, SKBLOCK, SKSYOKU.
    void formLoad();
    // Unload step: releases the five objects without closing anything.
    void formUnload();

    void prsOpenSet();
    void prsDbOpen();
    void prsTbOpen();
    void prsTbClose();
    void prsDbClose();
    void prsSetPFMode(std::int16_t mode);
    void prsSksykeiChek();
    void prsTBLRead();
    std::string prfReadSyoz(std::int16_t affiliationCode, std::int16_t schoolCount);

    // The action for a pressed button (the press handler runs it while not busy).
    void prsPfAction(int index);
    void prsPf00();
    void prsPf05();
    [[noreturn]] void prsPf09();
    std::int16_t prfPrtchek() const;
    // Opens the payment records of the choice (SKSYKEI) and, when there are any, has the
    // print run write them, closes them and hands the file to the print engine.
    void prsPrint();

    // The block numbers of the selected entries, two digits at least, comma-joined.
    std::string blockList() const;
    // SYORID of the current management record.
    Currency syorid() const;
    // Toggles the selection of one entry (as a click on it does).
    void setSelected(int index, bool selected);

private:
    void showWarning(const std::string& text);

    PrintContext& m_ctx;
    ScreenDescription m_desc;
    std::unique_ptr<BlockReportRun> m_run;
    ScreenView m_nullView;
    ScreenView* m_view = &m_nullView;

    // Table objects on the context's connection KOV: created by the load step (with
    // KOV), released by the unload step. The payment records SKSYKEI are opened and
    // closed by the step that reads them (OpenTable).
    // The tables keep the names of the payroll database, as the design names them.
    // NOLINTBEGIN(readability-identifier-naming)
    std::unique_ptr<dataaccess::clsTbAccess> SKKANRI;
    std::unique_ptr<dataaccess::clsTbAccess> SKSYOZK;
    std::unique_ptr<dataaccess::clsTbAccess> SKBLOCK;
    std::unique_ptr<dataaccess::clsTbAccess> SKSYOKU;
    // NOLINTEND(readability-identifier-naming)

    std::string m_lblShori;
    bool m_optGetugaku = true;
    std::vector<ListEntry> m_lstMain;
    int m_listIndex = -1;
    std::array<BlockSlot, 46> m_blockSlots{}; // index 1 to 45
    std::array<std::string, 12> m_pfCaptions;
    ComPFMode m_pfMode;
};

} // namespace kov::blockreport
