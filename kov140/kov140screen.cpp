#include "kov140/kov140screen.h"

namespace kov::kov140 {

using blockreport::BlockSlot;
using blockreport::ScreenDescription;
using blockreport::TabStop;

ScreenDescription kov140Screen()
{
    ScreenDescription screen;
    screen.caption = "差額支給内訳明細書印刷";
    screen.lblShoriWidth = 1605;
    screen.buttonLefts = {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7800, 8655, 9510, 10365};
    screen.tabOrder = {TabStop::LstMain,   TabStop::Buttons,      TabStop::LblShori,   TabStop::Label5,
                       TabStop::FraKyuKbn, TabStop::OptNichigaku, TabStop::OptGetugaku};
    screen.monthCheck = false;
    screen.slotShown = [](const BlockSlot& slot) { return slot.payKind == 3 && slot.startCode != 0; };
    screen.startFilter = [](const std::string& month) {
        return "SKYUYM = " + month + " AND KYUSYU = 3 AND SYRFLG <> 0";
    };
    screen.selectFilter = [](const std::string& month, const std::string& blocks, bool monthly) {
        return "SKYUYM = " + month + " AND KYUSYU = 3 AND SYRFLG in( " + blocks + ")" +
               (monthly ? " AND SYOSYU not in(5,6) " : " AND SYOSYU in(5,6) ");
    };
    return screen;
}

} // namespace kov::kov140
