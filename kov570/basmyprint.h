#pragma once
// The printed summary of kov570: one page over "Kov570p.OVL" for every selected pair of
// finance slot and school slot, a header line and fourteen month rows of 21 figures,
// written as a print command file and handed to the print engine.
#include "common/currency.h"
#include "kov570/baskov570.h"
#include "print/printrun.h"

#include <array>
#include <cstdint>
#include <string>

namespace kov::kov570 {

class BasMyPrint {
public:
    BasMyPrint(PrintContext& ctx, BasKov570& data) : m_ctx(ctx), m_data(data) {}

    static constexpr std::int16_t kLeftMargin = 8;
    static constexpr std::int16_t kTopMargin = 5;

    std::array<std::int16_t, 9> ZaimuSelect{};   // finance slots 0 to 8
    std::array<std::int16_t, 4> GakkouSelect{};  // school slots 1 to 3 (0 unused)
    Currency PrintX;
    Currency PrintY;
    std::int16_t PrintLastWidth = 0;

    void prsSetSelect(const std::array<std::int16_t, 9>& zaimu, const std::array<std::int16_t, 4>& gakkou);
    // The print run; returns the print engine's result.
    std::int32_t prsSumPrint();

    std::int16_t prfNextCol(std::int16_t width, std::int16_t gap);
    void prsNextLine(std::int16_t dy);
    void prsNewPage();
    void prsSumHead(int finance, int school);
    void prsSumLine(int finance, int school, int month);
    static std::string prfSumEdit(Currency value, std::int16_t width);

private:
    void text(Currency y, const std::string& s, std::int16_t sizeX = 100);
    PrintContext& m_ctx;
    BasKov570& m_data;
    SubPrt* m_writer = nullptr;  // the command-file writer of the run's pages
};

} // namespace kov::kov570
