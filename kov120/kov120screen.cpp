#include "kov120/kov120screen.h"

namespace kov::kov120 {

using blockreport::BlockSlot;
using blockreport::ScreenDescription;
using blockreport::TabStop;

std::optional<std::int16_t> parseKov120Argument(const std::string& commandLine)
{
    if (commandLine == "2") return std::int16_t{2};
    if (commandLine == "5") return std::int16_t{5};
    if (commandLine == "25") return std::int16_t{25};
    return std::nullopt;
}

ScreenDescription kov120Screen(std::int16_t kyusyu)
{
    ScreenDescription screen;
    screen.caption = "期末勤勉手当支給調書印刷";
    screen.lblShoriWidth = 1620;
    screen.buttonLefts = {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7815, 8670, 9525, 10380};
    screen.tabOrder = {TabStop::OptGetugaku, TabStop::OptNichigaku, TabStop::LstMain,  TabStop::Buttons,
                       TabStop::LblShori,    TabStop::Label5,       TabStop::FraKyuKbn};
    screen.monthCheck = kyusyu == 2;
    const std::string kind = std::to_string(kyusyu);
    if (kyusyu == 25) {
        screen.slotShown = [](const BlockSlot& slot) {
            return (slot.payKind == 2 || slot.payKind == 5) && slot.startCode != 0;
        };
        screen.startFilter = [](const std::string& month) {
            return "KYUSYU in(2,5) AND SKYUYM = " + month + " AND SYRFLG <> 0";
        };
        screen.selectFilter = [](const std::string& month, const std::string& blocks, bool monthly) {
            return std::string(monthly ? "KYUSYU in(2,5) AND SYOSYU not in(5,6) AND SKYUYM = "
                                       : "KYUSYU in(2,5) AND SYOSYU in(5,6) AND SKYUYM = ") +
                   month + " AND SYRFLG in(" + blocks + ")";
        };
    } else {
        screen.slotShown = [kyusyu](const BlockSlot& slot) { return slot.payKind == kyusyu && slot.startCode != 0; };
        screen.startFilter = [kind](const std::string& month) {
            return "KYUSYU = " + kind + " AND SKYUYM = " + month + " AND SYRFLG <> 0";
        };
        screen.selectFilter = [kind](const std::string& month, const std::string& blocks, bool monthly) {
            return "KYUSYU = " + kind +
                   (monthly ? " AND SYOSYU not in(5,6) AND SKYUYM = " : " AND SYOSYU in(5,6) AND SKYUYM = ") + month +
                   " AND SYRFLG in(" + blocks + ")";
        };
    }
    return screen;
}

} // namespace kov::kov120
