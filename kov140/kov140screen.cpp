#include "kov140/kov140screen.h"

namespace kov::kov140 {

using blockreport::ScreenDescription;
using blockreport::TabStop;

ScreenDescription kov140Screen()
{
    return {
        .caption = "差額支給内訳明細書印刷",
        .lblShoriWidth = 1605,
        .buttonLefts = blockreport::pfButtonLefts(7800),
        .tabOrder = {TabStop::LstMain, TabStop::Buttons, TabStop::LblShori, TabStop::Label5, TabStop::FraKyuKbn,
                     TabStop::OptNichigaku, TabStop::OptGetugaku},
        .monthCheck = false,
        .slotShown = blockreport::slotsOfPayKinds({3}),
        .startFilter = [](const std::string& month) { return "SKYUYM = " + month + " AND KYUSYU = 3 AND SYRFLG <> 0"; },
        .selectFilter =
            [](const std::string& month, const std::string& blocks, bool monthly) {
                return "SKYUYM = " + month + " AND KYUSYU = 3 AND SYRFLG in( " + blocks + ")" +
                       (monthly ? " AND SYOSYU not in(5,6) " : " AND SYOSYU in(5,6) ");
            },
    };
}

} // namespace kov::kov140
