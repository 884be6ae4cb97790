#include "kov120/kov120screen.h"

namespace kov::kov120 {

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
    // 25 stands for the pay kinds 2 and 5 together.
    const bool both = kyusyu == 25;
    const std::string kinds = both ? "KYUSYU in(2,5)" : "KYUSYU = " + std::to_string(kyusyu);
    return {
        .caption = "期末勤勉手当支給調書印刷",
        .lblShoriWidth = 1620,
        .buttonLefts = blockreport::pfButtonLefts(7815),
        .tabOrder = {TabStop::OptGetugaku, TabStop::OptNichigaku, TabStop::LstMain, TabStop::Buttons, TabStop::LblShori,
                     TabStop::Label5, TabStop::FraKyuKbn},
        .monthCheck = kyusyu == 2,
        .slotShown =
            blockreport::slotsOfPayKinds(both ? std::vector<std::int16_t>{2, 5} : std::vector<std::int16_t>{kyusyu}),
        .startFilter =
            [kinds](const std::string& month) { return kinds + " AND SKYUYM = " + month + " AND SYRFLG <> 0"; },
        .selectFilter =
            [kinds](const std::string& month, const std::string& blocks, bool monthly) {
                return kinds +
                       (monthly ? " AND SYOSYU not in(5,6) AND SKYUYM = " : " AND SYOSYU in(5,6) AND SKYUYM = ") +
                       month + " AND SYRFLG in(" + blocks + ")";
            },
    };
}

} // namespace kov::kov120
