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
    ScreenDescription d;
    d.caption = "期末勤勉手当支給調書印刷";
    d.lblShoriWidth = 1620;
    d.buttonLefts = {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7815, 8670, 9525, 10380};
    d.tabOrder = {TabStop::OptGetugaku, TabStop::OptNichigaku, TabStop::LstMain, TabStop::Buttons,
                  TabStop::LblShori,    TabStop::Label5,       TabStop::FraKyuKbn};
    d.monthCheck = kyusyu == 2;
    const std::string kind = std::to_string(kyusyu);
    if (kyusyu == 25) {
        d.slotShown = [](const BlockSlot& s) { return (s.payKind == 2 || s.payKind == 5) && s.startCode != 0; };
        d.startFilter = [](const std::string& month) {
            return "KYUSYU in(2,5) AND SKYUYM = " + month + " AND SYRFLG <> 0";
        };
        d.selectFilter = [](const std::string& month, const std::string& blocks, bool monthly) {
            return std::string(monthly ? "KYUSYU in(2,5) AND SYOSYU not in(5,6) AND SKYUYM = "
                                       : "KYUSYU in(2,5) AND SYOSYU in(5,6) AND SKYUYM = ") +
                   month + " AND SYRFLG in(" + blocks + ")";
        };
    } else {
        d.slotShown = [kyusyu](const BlockSlot& s) { return s.payKind == kyusyu && s.startCode != 0; };
        d.startFilter = [kind](const std::string& month) {
            return "KYUSYU = " + kind + " AND SKYUYM = " + month + " AND SYRFLG <> 0";
        };
        d.selectFilter = [kind](const std::string& month, const std::string& blocks, bool monthly) {
            return "KYUSYU = " + kind +
                   (monthly ? " AND SYOSYU not in(5,6) AND SKYUYM = " : " AND SYOSYU in(5,6) AND SKYUYM = ") + month +
                   " AND SYRFLG in(" + blocks + ")";
        };
    }
    return d;
}

} // namespace kov::kov120
